#include "enet_reference.h"

#include <enet/enet.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

ReferenceResult RunEnetReference(int64_t totalBytes, int packetBytes) {
    if (enet_initialize() != 0) {
        return {};
    }
    ENetAddress address{};
    enet_address_set_host(&address, "127.0.0.1");
    address.port = 0;
    ENetHost* server = enet_host_create(&address, 1, 1, 0, 0);
    ENetHost* client = enet_host_create(nullptr, 1, 1, 0, 0);
    if (server == nullptr || client == nullptr) {
        return {};
    }
    enet_socket_get_address(server->socket, &address);
    enet_address_set_host(&address, "127.0.0.1");

    const int64_t count = (totalBytes + packetBytes - 1) / packetBytes;
    std::atomic<int64_t> received{0};
    std::atomic<bool> stop{false};
    std::thread receiver([&] {
        ENetEvent event;
        while (!stop.load() && received.load() < count) {
            while (enet_host_service(server, &event, 1) > 0) {
                if (event.type == ENET_EVENT_TYPE_RECEIVE) {
                    received.fetch_add(1);
                    enet_packet_destroy(event.packet);
                }
            }
        }
        enet_host_flush(server);
    });

    ENetPeer* peer = enet_host_connect(client, &address, 1, 0);
    ENetEvent event;
    bool connected = false;
    for (int i = 0; i < 200 && !connected; ++i) {
        connected = enet_host_service(client, &event, 10) > 0 && event.type == ENET_EVENT_TYPE_CONNECT;
    }

    std::vector<char> payload(packetBytes, 'x');
    int64_t queued = 0;
    const auto start = std::chrono::steady_clock::now();
    const auto limit = start + std::chrono::seconds(60);
    while (connected && received.load() < count && std::chrono::steady_clock::now() < limit) {
        // Keep a bounded backlog queued in the library, as a sender reading a file would.
        while (queued < count && queued - received.load() < 4096) {
            enet_peer_send(peer, 0,
                           enet_packet_create(payload.data(), payload.size(), ENET_PACKET_FLAG_RELIABLE));
            ++queued;
        }
        // Waits for the socket up to 1 ms, sending and taking acknowledgements meanwhile.
        while (enet_host_service(client, &event, 1) > 0) {
        }
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    stop.store(true);
    receiver.join();
    const int64_t lost = peer->packetsLost;
    enet_peer_reset(peer);
    enet_host_destroy(client);
    enet_host_destroy(server);
    enet_deinitialize();
    return {double(received.load()) * packetBytes / 1e6 / elapsed.count(), lost};
}
