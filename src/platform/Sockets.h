#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/EventSource.h"

// The TCP sockets of the command port: non-blocking, used on the agent's one thread, never inherited by a
// started program. One implementation per system under platform/<os>/.
class Sockets {
public:
    // Receive and Send when nothing can be moved now, and when the connection has failed (reset).
    static constexpr std::ptrdiff_t kWouldBlock = -1;
    static constexpr std::ptrdiff_t kFailed = -2;

    struct Listening {
        enum class Outcome {
            Listening,    // socket listens
            NotAnAddress, // the address is no IPv4 or IPv6 literal
            Failed,       // the system refused: failure says why
        };
        Outcome outcome = Outcome::Failed;
        Descriptor socket = kNoDescriptor;
        std::string failure;
        bool ipv6 = false;                          // the address is an IPv6 literal ...
        std::array<std::uint8_t, 16> ipv6Address{}; // ... with these bytes ...
        bool scoped = false;                        // ... naming an interface ("%")
    };
    // The raw address of a peer: 4 bytes IPv4, 16 bytes IPv6.
    struct Peer {
        std::array<std::uint8_t, 16> bytes{};
        std::size_t size = 0;
    };

    virtual ~Sockets() = default;
    // Listens on the port of the local address (an IPv4 or IPv6 literal, an IPv6 one with a "%" interface), on
    // every IPv4 address when it is empty; another socket may not listen on the same port beside it.
    virtual Listening Listen(int port, const std::string& address, int backlog) = 0;
    // The port a listening socket listens on; 0 when unknown.
    virtual int LocalPort(Descriptor listening) = 0;
    // Accept when the process may open no further descriptor now.
    static constexpr Descriptor kOutOfDescriptors = -2;

    // Takes one waiting connection; kNoDescriptor when none waits (or it could not be taken), kOutOfDescriptors.
    virtual Descriptor Accept(Descriptor listening, Peer& peer) = 0;
    // Reads at most size bytes: their count, 0 at the end of the peer's input, kWouldBlock or kFailed.
    virtual std::ptrdiff_t Receive(Descriptor connection, char* buffer, std::size_t size) = 0;
    // Writes at most size bytes: how many were taken, kWouldBlock or kFailed. Never raises a signal.
    virtual std::ptrdiff_t Send(Descriptor connection, const char* data, std::size_t size) = 0;
    // Ends the sending side: the peer reads the end of the reply even while a copy of the socket lives on.
    virtual void ShutdownSending(Descriptor connection) = 0;
    virtual void Close(Descriptor socket) = 0;
};

// The system's sockets.
std::unique_ptr<Sockets> CreateSockets();
// True when the system can make a TCP socket (the listener needs one).
bool NetworkLayerAvailable();
