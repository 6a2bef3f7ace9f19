#pragma once

#include <QtGlobal>

#include <algorithm>

namespace pvx::session {

/// Size of the serial driver's receive and transmit buffers: the most the
/// session leaves queued for a real port to send.
inline constexpr qint64 kDriverBufferSize = 8192;

/// Most handed to the virtual port in one write; the program on the other
/// side takes far less at a time.
inline constexpr qint32 kVirtualPortWriteChunk = 64 * 1024;

/// Interval of the pump timer, in milliseconds.
inline constexpr int kPumpIntervalMs = 50;

/// Pump ticks (10 s) a client may hold the serial side back without taking
/// any data, and a closed connection may wait for room for what it sent
/// last, before it is closed.
inline constexpr int kStallTicks = 10'000 / kPumpIntervalMs;

/// Pump ticks a remote serial server has to answer a request before the
/// missing answer is logged.
inline constexpr int kAnswerWaitTicks = 5'000 / kPumpIntervalMs;

/// Bytes one handler moves before it lets other events run; the rest is
/// picked up by the next event or pump tick. Bytes sent to several clients
/// count once per client: the work, and the wait of every other session,
/// grows with them.
inline constexpr qint64 kMoveBudget = 64 * 1024;

/// Work of one pass of the event loop that busy sessions share
/// (TurnShare): the bytes moved, by busy and quiet sessions alike, and
/// kHandlingWork for each handling, whose system calls cost the most while
/// it moves a few KiB. A handling that moves kBusyHandling or more makes its
/// session busy: it waits for its turn when the pass's work is used up.
inline constexpr qint64 kTurnWork = 64 * 1024;
inline constexpr qint64 kHandlingWork = 4096;
inline constexpr qint64 kBusyHandling = 1024;

/// Sends to clients a session makes in one turn before it lets other events
/// run: a piece for a thousand clients is a thousand system calls, and every
/// other session would wait for all of them. A piece goes out over about
/// kTurnsPerPiece turns, and the serial side is read between them, so that
/// the next piece carries what came meanwhile: fewer, larger sends. A turn
/// makes at least kMinSendsPerTurn sends, to be worth its pass of the event
/// loop, and at most kMaxSendsPerTurn, to keep that pass short.
inline constexpr int kTurnsPerPiece = 5;
inline constexpr int kMinSendsPerTurn = 20;
inline constexpr int kMaxSendsPerTurn = 128;

/// Sends one turn makes for `clients` clients.
constexpr int sendsPerTurn(int clients)
{
    return std::clamp(clients / kTurnsPerPiece, kMinSendsPerTurn, kMaxSendsPerTurn);
}

/// Most a client's unsent bytes reach, whatever the buffer size: beyond it
/// serial data waits in MyBuffer, which the serial side is held back by,
/// rather than a second time in the connections' queues.
inline constexpr qint64 kClientQueueBound = 256 * 1024;

/// Most a connection may owe its peer (serial data, answers to its requests)
/// and still be read: past it what the peer sends waits with the kernel, and
/// TCP holds the peer back, until it takes some. Above kClientQueueBound, so
/// that serial data alone never stops a client being read, and a client that
/// paused its data can still ask for it to go on.
inline constexpr qint64 kOwedReadBound = kClientQueueBound + 64 * 1024;

/// Datagrams one data-arrival event reads at most.
inline constexpr int kDatagramsPerEvent = 64;

} // namespace pvx::session
