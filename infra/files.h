// Small file helpers shared by the backlog and the table cache. Files are opened per operation and
// closed before it returns; POSIX files are shared between processes.
#pragma once

#include <QString>
#include <memory>

class QFile;

// Opens an existing file for reading and writing, retrying every 1 ms up to 5000 times when the
// open fails (missing file included). Returns null when it never opened. Never throws.
std::unique_ptr<QFile> OpenNotBlock(const QString& name);

// Test seam: how many retries OpenNotBlock makes after the first attempt (5000 unless changed).
// Install before starting the threads under test.
void SetOpenRetries(int retries);

// The process's current working directory, where all the system's relative paths start.
QString WorkingDir();
