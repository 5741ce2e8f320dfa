// What the commands that change a record (add, edit, delete) share once the change is posted: the
// "posted" line of --times, and the wait for the client to apply the server's update of the table.
#pragma once

#include <QString>
#include <functional>

struct CommandContext;
class TBaseClient;

// With --times on, the moment the change of the named table was posted.
void ReportPosted(CommandContext& context, const QString& table);

// Waits until a refresh of the named table has been reported after which `applied` holds; `applied`
// runs with the table's lock held. False when the deadline passed or a stop was requested first.
// Refreshes reported before the call count, so the caller takes the stale ones before it posts.
bool WaitForTableUpdate(CommandContext& context, const QString& name, TBaseClient& table,
                        const std::function<bool()>& applied);
