// A session client in a temporary working directory, driven pass by pass from the test thread
// against a ScriptedPeer on 127.0.0.1. Time is a fake tick count in nanoseconds that only Advance
// moves, so time-outs fire exactly when a test says and never by accident; the client's receiving
// thread runs for real.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "infra/json_text.h"
#include "infra/ticks.h"
#include "scripted_peer.h"
#include "session/client_udp.h"
#include "session/session_door.h"
#include "tables/base_set.h"

inline std::atomic<uint64_t> g_fakeTicks{1'000'000'000'000};
inline const QString kAppId = QStringLiteral("5A1C3F20-7B9E-4D62-A8F1-0E4B7C9D2A65");
inline const QString kTid = QStringLiteral("0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9");

class ClientFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        previousDir = QDir::currentPath();
        QDir::setCurrent(dir.path());
        SetTicksSource([] { return g_fakeTicks.load(); });
    }

    void TearDown() override {
        client.reset();
        SetTicksSource({});
        QDir::setCurrent(previousDir);
    }

    void MakeClient(const QString& hosts = QStringLiteral("127.0.0.1")) {
        client = MakeThread<client_udp>(kAppId, hosts, peer.Port());
        ASSERT_TRUE(client->Start);
        client->TickCoef = kTicksPerMs;
        client->Window.TickCoef = kTicksPerMs;
        peer.Target(client->locport);
    }

    void Advance(uint64_t ms) { g_fakeTicks += ms * kTicksPerMs; }
    std::function<void()> Pump() {
        return [this] { client->Pass(); };
    }
    // Passes until cond holds or timeoutMs of real time have gone by.
    bool PumpUntil(const std::function<bool()>& cond, int timeoutMs = 3000) {
        QElapsedTimer timer;
        timer.start();
        while (!cond()) {
            if (timer.elapsed() > timeoutMs) {
                return false;
            }
            client->Pass();
            peer.Poll(0);
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        return true;
    }
    // The next notice in ReadJSON with this "$c$", skipping others.
    QString AwaitNotice(const QString& command, int timeoutMs = 3000) {
        QString found;
        PumpUntil(
            [&] {
                QString m;
                while (client->ReadJSON.GetSoobD(m)) {
                    if (GetJSONValue(m, QStringLiteral("$c$")) == command) {
                        found = m;
                        return true;
                    }
                }
                return false;
            },
            timeoutMs);
        return found;
    }

    // Logs in: the peer answers the registration with "regok" and this tid.
    void Login(const QString& tid = kTid) {
        RequestLogin(*client, QStringLiteral("oper"), QStringLiteral("secret"));
        ASSERT_TRUE(peer.AwaitCommand(QStringLiteral("reg"), Pump()));
        peer.nextNumber = 1;
        peer.SendText(QStringLiteral("{\"$c$\":\"regok\",\"tid\":\"") + tid +
                      QStringLiteral("\",\"version\":\"7\"}"));
        ASSERT_TRUE(PumpUntil([this] { return client->Connected.load(); }));
    }

    // Plays the server's side of loading one table: the load request, "tablerawfromfile", the
    // snapshot request and the file. False when the client did not ask for this table next.
    bool ServeTableLoad(const QString& name, const QByteArray& file) {
        auto request = peer.AwaitCommand(QStringLiteral("database"), Pump());
        if (!request || GetJSONValue(request->Text(), QStringLiteral("command")) != u"gettableraw" ||
            GetJSONValue(request->Text(), QStringLiteral("name")) != name) {
            return false;
        }
        peer.SendText(QStringLiteral("{\"$c$\":\"tablerawfromfile\",\"name\":\"") + name +
                      QStringLiteral("\",\"filename\":\"tables\\\\") + name +
                      QStringLiteral(".tbl\",\"zip\":\"0\",\"x\":\"0\",\"size\":") +
                      QString::number(file.size()) + u'}');
        auto get = peer.AwaitCommand(QStringLiteral("getfile"), Pump());
        if (!get) {
            return false;
        }
        peer.SendText(QStringLiteral("{\"$c$\":\"sendfile\",\"name\":\"") +
                      StrToJSONStr(GetJSONValue(get->Text(), QStringLiteral("name"))) +
                      QStringLiteral("\"}"));
        if (!peer.AwaitCommand(QStringLiteral("startrecivefile"), Pump())) {
            return false;
        }
        peer.SendBytes(PacketTypes::File, file);
        return true;
    }

    QTemporaryDir dir;
    QString previousDir;
    ScriptedPeer peer;
    // The tables a test gives the client outlive it: the client reads their caches on a thread of
    // its own from each login on.
    TBaseC tables;
    ThreadPtr<client_udp> client;
};
