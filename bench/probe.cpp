// The measuring end of the bridge benchmark: it holds the serial side and the
// network side of one bridge and moves verified data through it. Python
// starts the bridges; every byte of the data path is moved here.
//
//   probe run --serial fd:N|PATH --net connect:PORT|connect6:PORT|accept:FD|fd:N
//             [--clients N] [--pid PID] [--budget S]
//             [--quiet-serial PATH --quiet-net connect:PORT] PHASE...
//       PHASE: s2n:BYTES (serial -> every client), n2s:BYTES (client -> serial),
//              rtt:COUNT:SIZE (client -> serial, echoed back, one in flight),
//              quiet-rtt:COUNT:SIZE (the same on the quiet link),
//              busy-rtt:COUNT:SIZE (the same on the quiet link while the serial
//                  side streams to every client, verified, until it is done),
//              hold:BYTES (serial side written, no client reading, until all
//                  is written or the bridge holds the writer back)
//       connect: goes to 127.0.0.1, connect6: to ::1.
//       One line per phase: "s2n bytes=... seconds=... cpu=...",
//       "rtt size=... p50_us=... p99_us=... count=...", "stream bytes=...
//       seconds=..." (bytes each client received while busy-rtt ran) or "hold
//       bytes=... seconds=... held=0|1". cpu is the bridge's CPU time over the
//       phase in seconds (every thread's run time from schedstat). With --pid
//       a last line gives its resident memory then, its peak and
//       Private_Dirty: "memory rss_kb=... hwm_kb=... dirty_kb=...".
//   probe handshakes --net connect:PORT|connect6:PORT --tls CAFILE --clients N --rounds R
//       R rounds of N TLS handshakes at once: one line "handshakes count=N
//       seconds=..." per round, from the first connection until every
//       client holds the server's first session ticket (the server sends it
//       once it has checked the client's Finished message).
//   With --tls CAFILE every network connection of `run` and `handshakes`
//   speaks TLS 1.3 with TLS_AES_128_GCM_SHA256 only, whatever the bridge
//   allows, so that every bridge is measured with one cipher: a connecting
//   probe checks the bridge's certificate against CAFILE and 127.0.0.1 or
//   ::1; an accepting one (accept:FD) presents --tls-cert CERT --tls-key KEY.
//   `run` then prints "tls version=... cipher=..." first.
//   probe sessions --listen FD --serial PATH... --bytes B --round-trips COUNT
//             [--pid PID] [--budget S] [--reference-serial ... --reference-net ...]
//       Every PATH is a port whose bridge connects to the listener FD; the last
//       one is the quiet one. Measures its 1-byte round trip alone ("quiet-rtt"),
//       then again ("busy-rtt") while every other port and its connection move
//       B bytes each way, verified: "sessions count=... bytes_min=...
//       bytes_total=... seconds=...". With --reference-serial fd:N|PATH
//       --reference-net connect:PORT, a link through a bridge of its own (the
//       reference relay) carries round trips in turn with the quiet one:
//       "reference-quiet-rtt" and "reference-busy-rtt".
//   probe relay PATH PORT
//       The reference relay: one poll, one read, one write per chunk between
//       the device PATH and one TCP client on 127.0.0.1:PORT.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kChunk = 65536;
constexpr auto kStall = std::chrono::seconds(30); // no progress for this long ends the run
constexpr auto kHeldBack = std::chrono::seconds(3); // a writer stuck this long is held back
constexpr std::size_t kEndless = SIZE_MAX / 2;     // a stream that runs until it is halted
// At most one TLS record per write: when the socket is full only that
// record waits, so no byte of an unfinished write reaches the other side.
constexpr std::size_t kRecord = 16384;

[[noreturn]] void fail(const std::string &why)
{
    std::fprintf(stderr, "probe: %s\n", why.c_str());
    std::exit(1);
}

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void makeRaw(int fd)
{
    termios t {};
    if (::tcgetattr(fd, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
    }
}

void setNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

int openDevice(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        fail("cannot open " + path + ": " + std::strerror(errno));
    makeRaw(fd);
    return fd;
}

sockaddr_in loopback(int port)
{
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

void noDelay(int fd)
{
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

std::string openSslReason()
{
    const unsigned long code = ::ERR_get_error();
    const char *reason = code == 0 ? nullptr : ::ERR_reason_error_string(code);
    return reason != nullptr ? reason : code == 0 ? std::strerror(errno) : "error " + std::to_string(code);
}

/// The TLS stage of the probe's network connections (--tls and friends).
struct Tls {
    std::string caFile, certFile, keyFile;
    bool on() const { return !caFile.empty() || !certFile.empty(); }
};

std::vector<SSL *> tlsOf; // by descriptor: the TLS stage on it, if it has one

SSL *tlsOn(int fd)
{
    return fd >= 0 && static_cast<std::size_t>(fd) < tlsOf.size() ? tlsOf[static_cast<std::size_t>(fd)] : nullptr;
}

SSL_CTX *tlsContext(const Tls &tls, bool server)
{
    SSL_CTX *context = ::SSL_CTX_new(server ? ::TLS_server_method() : ::TLS_client_method());
    if (context == nullptr || ::SSL_CTX_set_min_proto_version(context, TLS1_3_VERSION) != 1
        || ::SSL_CTX_set_ciphersuites(context, "TLS_AES_128_GCM_SHA256") != 1)
        fail("TLS set-up: " + openSslReason());
    ::SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    ::SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (server) {
        if (::SSL_CTX_use_certificate_chain_file(context, tls.certFile.c_str()) != 1
            || ::SSL_CTX_use_PrivateKey_file(context, tls.keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
            fail("TLS certificate " + tls.certFile + ": " + openSslReason());
        ::SSL_CTX_set_num_tickets(context, 0); // the bridge would only drop them
    } else {
        if (::SSL_CTX_load_verify_locations(context, tls.caFile.c_str(), nullptr) != 1)
            fail("TLS trust " + tls.caFile + ": " + openSslReason());
        ::SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    }
    return context;
}

/// A TLS stage on `fd` not yet shaken hands: a client checks the bridge's
/// certificate against the loopback address it connected to.
SSL *newTls(SSL_CTX *context, int fd, bool server, bool ipv6)
{
    SSL *ssl = ::SSL_new(context);
    if (ssl == nullptr || ::SSL_set_fd(ssl, fd) != 1)
        fail("TLS: " + openSslReason());
    if (!server && ::X509_VERIFY_PARAM_set1_ip_asc(::SSL_get0_param(ssl), ipv6 ? "::1" : "127.0.0.1") != 1)
        fail("TLS: " + openSslReason());
    return ssl;
}

/// Shakes hands on the blocking connection `fd` (15 s at most) and makes its
/// reads and writes go through TLS from then on.
void startTls(const Tls &tls, int fd, bool server, bool ipv6)
{
    static SSL_CTX *const clientContext = tls.caFile.empty() ? nullptr : tlsContext(tls, false);
    static SSL_CTX *const serverContext = tls.certFile.empty() ? nullptr : tlsContext(tls, true);
    SSL_CTX *context = server ? serverContext : clientContext;
    if (context == nullptr)
        fail(server ? "an accepting TLS probe needs --tls-cert and --tls-key" : "a TLS probe needs --tls CAFILE");
    const timeval limit {15, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    SSL *ssl = newTls(context, fd, server, ipv6);
    if ((server ? ::SSL_accept(ssl) : ::SSL_connect(ssl)) != 1)
        fail("TLS handshake: " + openSslReason());
    if (tlsOf.size() <= static_cast<std::size_t>(fd))
        tlsOf.resize(static_cast<std::size_t>(fd) + 1, nullptr);
    tlsOf[static_cast<std::size_t>(fd)] = ssl;
}

/// read(2), through the TLS stage of `fd` when it has one: as much as has
/// come, EAGAIN when nothing has, 0 at the end.
ssize_t netRead(int fd, unsigned char *into, std::size_t size)
{
    SSL *ssl = tlsOn(fd);
    if (ssl == nullptr)
        return ::read(fd, into, size);
    std::size_t got = 0;
    while (got < size) {
        const int n = ::SSL_read(ssl, into + got, static_cast<int>(std::min<std::size_t>(size - got, INT_MAX)));
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            continue;
        }
        const int error = ::SSL_get_error(ssl, n);
        if (got > 0 || error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
            break;
        if (error == SSL_ERROR_ZERO_RETURN)
            return 0;
        fail("TLS read: " + openSslReason());
    }
    if (got == 0)
        errno = EAGAIN;
    return got == 0 ? -1 : static_cast<ssize_t>(got);
}

/// write(2), through the TLS stage of `fd` when it has one, a record at most.
ssize_t netWrite(int fd, const unsigned char *bytes, std::size_t size)
{
    SSL *ssl = tlsOn(fd);
    if (ssl == nullptr)
        return ::write(fd, bytes, size);
    const int n = ::SSL_write(ssl, bytes, static_cast<int>(std::min(size, kRecord)));
    if (n > 0)
        return n;
    const int error = ::SSL_get_error(ssl, n);
    if (error != SSL_ERROR_WANT_WRITE && error != SSL_ERROR_WANT_READ)
        fail("TLS write: " + openSslReason());
    errno = EAGAIN;
    return -1;
}

/// poll(2), where a descriptor whose TLS stage holds bytes already taken
/// off the socket is readable at once.
int pollNet(pollfd *polls, std::size_t count, int timeout)
{
    const auto buffered = [&](const pollfd &p) {
        SSL *ssl = (p.events & POLLIN) ? tlsOn(p.fd) : nullptr;
        return ssl != nullptr && ::SSL_pending(ssl) > 0;
    };
    const bool any = std::any_of(polls, polls + count, buffered);
    const int ready = ::poll(polls, count, any ? 0 : timeout);
    if (!any || ready < 0)
        return ready;
    for (pollfd *p = polls; p != polls + count; ++p)
        if (buffered(*p))
            p->revents |= POLLIN;
    return static_cast<int>(std::count_if(polls, polls + count, [](const pollfd &p) { return p.revents != 0; }));
}

// The bridge may still be starting: retry for a while.
int connectTo(int port, bool ipv6)
{
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    const sockaddr_in a = loopback(port);
    sockaddr_in6 a6 {};
    a6.sin6_family = AF_INET6;
    a6.sin6_port = htons(static_cast<uint16_t>(port));
    a6.sin6_addr = in6addr_loopback;
    const sockaddr *to = ipv6 ? reinterpret_cast<const sockaddr *>(&a6) : reinterpret_cast<const sockaddr *>(&a);
    const socklen_t size = ipv6 ? sizeof a6 : sizeof a;
    for (;;) {
        const int fd = ::socket(to->sa_family, SOCK_STREAM, 0);
        if (::connect(fd, to, size) == 0) {
            noDelay(fd);
            return fd;
        }
        ::close(fd);
        if (Clock::now() > deadline)
            fail("cannot connect to port " + std::to_string(port) + (ipv6 ? " of ::1" : ""));
        ::usleep(50000);
    }
}

int acceptOn(int listener)
{
    pollfd p {listener, POLLIN, 0};
    if (::poll(&p, 1, 15000) != 1)
        fail("nobody connected to the listener");
    const int fd = ::accept(listener, nullptr, nullptr);
    if (fd < 0)
        fail(std::string("accept: ") + std::strerror(errno));
    noDelay(fd);
    return fd;
}

int numberAfter(const std::string &request, const char *prefix)
{
    return std::atoi(request.c_str() + std::strlen(prefix));
}

/// The bridge's CPU time so far (all its threads), in seconds: the run time
/// the scheduler keeps per thread, to the nanosecond; utime and stime are
/// sampled at the clock tick, too coarse for a phase of a fraction of a second.
double cpuOf(int pid)
{
    if (pid <= 0)
        return 0;
    double seconds = 0;
    std::error_code error;
    for (const auto &task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream schedstat(task.path() / "schedstat");
        unsigned long long nanoseconds = 0;
        if (schedstat >> nanoseconds)
            seconds += static_cast<double>(nanoseconds) / 1e9;
    }
    return seconds;
}

/// A field of /proc/PID/status or /proc/PID/smaps_rollup, in kB.
long kilobytes(int pid, const char *file, const std::string &key)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + key.size());
    return -1;
}

/// Bytes of every value, in an order no bridge could guess.
std::vector<unsigned char> randomBytes(std::size_t size, uint64_t seed)
{
    std::vector<unsigned char> bytes(size);
    for (auto &b : bytes) {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        b = static_cast<unsigned char>(seed >> 24);
    }
    return bytes;
}

struct Link {
    int serial = -1;
    std::vector<int> clients;
    int pid = 0;
    double budget = 1e9;                      // seconds after which no new data is written
    const std::atomic<bool> *halt = nullptr; // once set, endless streams stop writing
};

Clock::time_point after(double s)
{
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

/// Reads whatever is waiting on fd (0 when nothing is); a closed or broken
/// descriptor ends the run.
ssize_t readSome(int fd, unsigned char *into, std::size_t size)
{
    const ssize_t got = netRead(fd, into, size);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return 0;
    if (got <= 0)
        fail(got == 0 ? "the bridge closed the connection" : std::string("read: ") + std::strerror(errno));
    return got;
}

/// One stream of verified data: `from` writes, every reader in `to` must
/// receive all of it. The bytes repeat `pattern` from `start`, so a stream
/// may run as long as it is asked to, and streams with starts of their own
/// tell crossed connections apart.
struct Flow {
    int from = -1;
    std::vector<int> to;
    const std::vector<unsigned char> *pattern = nullptr;
    std::size_t start = 0;
    std::size_t least = 0; // written even once halted
    std::size_t most = 0;  // written at most
    std::size_t written = 0;
    std::vector<std::size_t> received;
};

Flow flow(int from, std::vector<int> to, const std::vector<unsigned char> &pattern, std::size_t least,
          std::size_t most, std::size_t start = 0)
{
    if (pattern.empty())
        fail("a stream needs bytes to move");
    Flow f {from, std::move(to), &pattern, start % pattern.size(), least, most, 0, {}};
    f.received.assign(f.to.size(), 0);
    return f;
}

/// Where byte `offset` of the flow lies in its pattern.
std::size_t patternIndex(const Flow &f, std::size_t offset) { return (f.start + offset) % f.pattern->size(); }

bool matches(const Flow &f, std::size_t offset, const unsigned char *bytes, std::size_t size)
{
    while (size > 0) {
        const std::size_t i = patternIndex(f, offset);
        const std::size_t piece = std::min(size, f.pattern->size() - i);
        if (std::memcmp(bytes, f.pattern->data() + i, piece) != 0)
            return false;
        bytes += piece;
        offset += piece;
        size -= piece;
    }
    return true;
}

/// Moves every flow at once until each has written its share and all its
/// readers have every byte of it. A flow stops writing at `most`, when the
/// budget has passed, or once halted with `least` written; its `written` is
/// then what each of its readers received. Returns the seconds until the
/// last byte arrived everywhere.
double transfer(const Link &link, std::vector<Flow> &flows)
{
    std::vector<unsigned char> buffer(kChunk);
    std::vector<pollfd> polls;
    std::vector<std::size_t> ends;
    for (const Flow &f : flows)
        ends.push_back(f.most);
    const auto start = Clock::now();
    const auto stopWriting = after(link.budget);
    auto progress = start;
    for (;;) {
        const bool late = Clock::now() > stopWriting;
        const bool halted = link.halt != nullptr && link.halt->load();
        bool done = true;
        polls.clear();
        for (std::size_t k = 0; k < flows.size(); ++k) {
            const Flow &f = flows[k];
            if (f.written < ends[k] && (late || (halted && f.written >= f.least)))
                ends[k] = f.written;
            done = done && f.written == ends[k]
                && std::all_of(f.received.begin(), f.received.end(), [&](std::size_t r) { return r == ends[k]; });
            polls.push_back({f.from, static_cast<short>(f.written < ends[k] ? POLLOUT : 0), 0});
            for (int fd : f.to)
                polls.push_back({fd, POLLIN, 0});
        }
        if (done)
            break;
        if (pollNet(polls.data(), polls.size(), 1000) < 0 && errno != EINTR)
            fail(std::string("poll: ") + std::strerror(errno));
        const pollfd *p = polls.data();
        for (std::size_t k = 0; k < flows.size(); ++k) {
            Flow &f = flows[k];
            if ((p++)->revents & POLLOUT) {
                const std::size_t i = patternIndex(f, f.written);
                const ssize_t put = netWrite(f.from, f.pattern->data() + i,
                                            std::min({kChunk, ends[k] - f.written, f.pattern->size() - i}));
                if (put > 0) {
                    f.written += static_cast<std::size_t>(put);
                    progress = Clock::now();
                }
            }
            for (std::size_t r = 0; r < f.to.size(); ++r) {
                if (!((p++)->revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                const ssize_t got = readSome(f.to[r], buffer.data(), kChunk);
                if (got == 0)
                    continue;
                const auto n = static_cast<std::size_t>(got);
                if (f.received[r] + n > f.written || !matches(f, f.received[r], buffer.data(), n))
                    fail("stream " + std::to_string(k) + " reader " + std::to_string(r) + ": wrong bytes after "
                         + std::to_string(f.received[r]));
                f.received[r] += n;
                progress = Clock::now();
            }
        }
        if (Clock::now() - progress > kStall)
            fail("stalled: stream 0 wrote " + std::to_string(flows[0].written) + " bytes, its reader 0 has "
                 + std::to_string(flows[0].received.empty() ? 0 : flows[0].received[0]));
    }
    return seconds(Clock::now() - start);
}

/// Receives exactly size bytes on fd (one in flight: the bytes are there soon).
void receive(int fd, unsigned char *into, std::size_t size)
{
    std::size_t got = 0;
    while (got < size) {
        pollfd p {fd, POLLIN, 0};
        if (pollNet(&p, 1, static_cast<int>(std::chrono::milliseconds(kStall).count())) == 0)
            fail("round trip: no answer");
        got += static_cast<std::size_t>(readSome(fd, into + got, size - got));
    }
}

void send(int fd, const unsigned char *bytes, std::size_t size)
{
    for (std::size_t put = 0; put < size;) {
        pollfd p {fd, POLLOUT, 0};
        ::poll(&p, 1, 1000);
        const ssize_t n = netWrite(fd, bytes + put, size - put);
        if (n > 0)
            put += static_cast<std::size_t>(n);
    }
}

struct Latency {
    double p50 = 0;
    double p99 = 0;
    std::size_t count = 0;
};

Latency percentiles(std::vector<double> micros)
{
    if (micros.empty())
        fail("round trip: no time left");
    std::sort(micros.begin(), micros.end());
    const auto at = [&](double q) { return micros[static_cast<std::size_t>(q * static_cast<double>(micros.size() - 1))]; };
    return {at(0.5), at(0.99), micros.size()};
}

/// Round trips of `size`-byte messages, one in flight: client -> serial,
/// echoed back, on each of `links` in turn. Stops after `count` of them on
/// each, at `deadline`, or once the first link is halted.
std::vector<Latency> roundTrips(const std::vector<const Link *> &links, int count, std::size_t size,
                                Clock::time_point deadline)
{
    const auto halted = [&] { return links[0]->halt != nullptr && links[0]->halt->load(); };
    const auto message = randomBytes(size * static_cast<std::size_t>(count), 7);
    std::vector<unsigned char> there(size), back(size);
    std::vector<std::vector<double>> micros(links.size());
    for (int i = 0; i < count && Clock::now() < deadline && !halted(); ++i) {
        const unsigned char *m = message.data() + size * static_cast<std::size_t>(i);
        for (std::size_t l = 0; l < links.size(); ++l) {
            const Link &link = *links[l];
            const auto start = Clock::now();
            send(link.clients[0], m, size);
            receive(link.serial, there.data(), size);
            send(link.serial, there.data(), size);
            receive(link.clients[0], back.data(), size);
            micros[l].push_back(seconds(Clock::now() - start) * 1e6);
            if (std::memcmp(back.data(), m, size) != 0)
                fail("round trip: wrong bytes");
        }
    }
    std::vector<Latency> latencies;
    for (auto &each : micros)
        latencies.push_back(percentiles(std::move(each)));
    return latencies;
}

Latency roundTrips(const Link &link, int count, std::size_t size, Clock::time_point deadline)
{
    return roundTrips(std::vector<const Link *> {&link}, count, size, deadline).front();
}

void report(const char *phase, std::size_t size, const Latency &latency)
{
    std::printf("%s size=%zu p50_us=%.1f p99_us=%.1f count=%zu\n", phase, size, latency.p50, latency.p99, latency.count);
}

/// Round trips on each of `quiet` in turn while `flows` stream, so that
/// every message meets the load: the round trips end when the streams have
/// moved their share, endless streams when the round trips are done (or the
/// budget has passed). Returns the round trips and the seconds the streams took.
std::pair<std::vector<Latency>, double> whileStreaming(Link link, std::vector<Link> quiet, int count,
                                                       std::size_t size, std::vector<Flow> &flows)
{
    std::atomic<bool> measured {false}, moved {false};
    std::vector<Latency> latencies;
    const auto deadline = after(link.budget);
    quiet.front().halt = &moved;
    std::thread measuring([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the streams get going first
        std::vector<const Link *> links;
        for (const Link &each : quiet)
            links.push_back(&each);
        latencies = roundTrips(links, count, size, deadline);
        measured = true;
    });
    link.halt = &measured;
    const double took = transfer(link, flows);
    moved = true;
    measuring.join();
    return {latencies, took};
}

/// Writes up to `size` bytes on the serial side while no client reads, until
/// all are written, the bridge holds the writer back, or the budget is over.
/// Counts the clients the bridge let go meanwhile.
void hold(const Link &link, std::size_t size)
{
    const auto data = randomBytes(16 * kChunk, 3);
    std::size_t written = 0;
    const auto start = Clock::now();
    const auto stop = after(link.budget);
    auto progress = start;
    bool held = false;
    while (written < size && !held) {
        pollfd p {link.serial, POLLOUT, 0};
        ::poll(&p, 1, 100);
        if (p.revents & POLLOUT) {
            const std::size_t at = written % data.size();
            const ssize_t put = ::write(link.serial, data.data() + at, std::min({kChunk, size - written, data.size() - at}));
            if (put > 0) {
                written += static_cast<std::size_t>(put);
                progress = Clock::now();
            }
        }
        held = Clock::now() - progress > kHeldBack || Clock::now() > stop;
    }
    std::vector<pollfd> polls;
    for (int fd : link.clients)
        polls.push_back({fd, POLLRDHUP, 0});
    ::poll(polls.data(), polls.size(), 0);
    const auto dropped = std::count_if(polls.begin(), polls.end(), [](const pollfd &q) { return q.revents != 0; });
    std::printf("hold bytes=%zu seconds=%.3f held=%d dropped=%zd\n", written, seconds(progress - start), held ? 1 : 0,
                static_cast<ssize_t>(dropped));
}

/// Reads and drops whatever arrives on fds until they have been quiet a while.
void drain(const std::vector<int> &fds)
{
    std::vector<unsigned char> buffer(kChunk);
    std::vector<pollfd> polls;
    for (int fd : fds)
        polls.push_back({fd, POLLIN, 0});
    while (pollNet(polls.data(), polls.size(), 300) > 0)
        for (auto &p : polls)
            if (p.revents & POLLIN)
                readSome(p.fd, buffer.data(), kChunk);
}

/// Waits until both directions carry data (a bridge may accept before it
/// forwards), then drains what the probing left behind.
void settle(const Link &link)
{
    const unsigned char mark = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    std::vector<unsigned char> buffer(kChunk);
    const auto until = [&](int writer, const std::vector<int> &readers) {
        std::vector<bool> heard(readers.size(), false);
        while (!std::all_of(heard.begin(), heard.end(), [](bool h) { return h; })) {
            if (Clock::now() > deadline)
                fail("the bridge does not carry data");
            send(writer, &mark, 1);
            std::vector<pollfd> polls;
            for (int fd : readers)
                polls.push_back({fd, POLLIN, 0});
            pollNet(polls.data(), polls.size(), 50);
            for (std::size_t i = 0; i < readers.size(); ++i)
                if (polls[i].revents & POLLIN)
                    heard[i] = heard[i] || readSome(readers[i], buffer.data(), kChunk) > 0;
        }
    };
    until(link.serial, link.clients);
    until(link.clients[0], {link.serial});
    std::vector<int> all = link.clients;
    all.push_back(link.serial);
    drain(all);
}

void printMemory(int pid)
{
    if (pid > 0)
        std::printf("memory rss_kb=%ld hwm_kb=%ld dirty_kb=%ld\n", kilobytes(pid, "status", "VmRSS:"),
                    kilobytes(pid, "status", "VmHWM:"), kilobytes(pid, "smaps_rollup", "Private_Dirty:"));
}

int connectNet(const std::string &net)
{
    if (net.rfind("connect:", 0) == 0)
        return connectTo(numberAfter(net, "connect:"), false);
    if (net.rfind("connect6:", 0) == 0)
        return connectTo(numberAfter(net, "connect6:"), true);
    if (net.rfind("accept:", 0) == 0)
        return acceptOn(numberAfter(net, "accept:"));
    if (net.rfind("fd:", 0) == 0)
        return numberAfter(net, "fd:");
    fail("unknown --net " + net);
}

Link openLink(const std::string &serial, const std::string &net, int clients, const Tls &tls = {})
{
    Link link;
    link.serial = serial.rfind("fd:", 0) == 0 ? numberAfter(serial, "fd:") : openDevice(serial);
    for (int i = 0; i < clients; ++i) {
        link.clients.push_back(connectNet(net));
        if (tls.on())
            startTls(tls, link.clients.back(), net.rfind("accept:", 0) == 0, net.rfind("connect6:", 0) == 0);
    }
    setNonBlocking(link.serial);
    for (int fd : link.clients)
        setNonBlocking(fd);
    settle(link);
    return link;
}

int run(int argc, char **argv)
{
    std::string serial, net, quietSerial, quietNet;
    int clients = 1, pid = 0;
    double budget = 1e9;
    Tls tls;
    std::vector<std::string> phases;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--serial" && hasValue)
            serial = argv[++i];
        else if (a == "--net" && hasValue)
            net = argv[++i];
        else if (a == "--clients" && hasValue)
            clients = std::max(1, std::atoi(argv[++i]));
        else if (a == "--pid" && hasValue)
            pid = std::atoi(argv[++i]);
        else if (a == "--budget" && hasValue)
            budget = std::atof(argv[++i]);
        else if (a == "--quiet-serial" && hasValue)
            quietSerial = argv[++i];
        else if (a == "--quiet-net" && hasValue)
            quietNet = argv[++i];
        else if (a == "--tls" && hasValue)
            tls.caFile = argv[++i];
        else if (a == "--tls-cert" && hasValue)
            tls.certFile = argv[++i];
        else if (a == "--tls-key" && hasValue)
            tls.keyFile = argv[++i];
        else
            phases.push_back(a);
    }
    Link link = openLink(serial, net, clients, tls);
    if (SSL *ssl = tlsOn(link.clients.front()))
        std::printf("tls version=%s cipher=%s\n", ::SSL_get_version(ssl), ::SSL_get_cipher_name(ssl));
    link.pid = pid;
    link.budget = budget;
    Link quiet;
    if (!quietSerial.empty())
        quiet = openLink(quietSerial, quietNet, 1);

    for (const std::string &phase : phases) {
        const std::string kind = phase.substr(0, phase.find(':'));
        const std::string rest = phase.substr(std::min(phase.size(), kind.size() + 1));
        char *end = nullptr;
        const std::size_t bytes = std::strtoul(rest.c_str(), &end, 10); // or the count of messages
        const int count = static_cast<int>(bytes);
        const std::size_t size = *end == ':' ? std::strtoul(end + 1, nullptr, 10) : 0; // of a message
        const bool roundTrip = kind == "rtt" || kind == "quiet-rtt" || kind == "busy-rtt";
        if (roundTrip && (count <= 0 || size == 0))
            fail(kind + " needs a count and a size: " + phase);
        if (roundTrip && kind != "rtt" && quiet.serial < 0)
            fail(kind + " needs --quiet-serial and --quiet-net");
        if (kind == "rtt") {
            report("rtt", size, roundTrips(link, count, size, Clock::time_point::max()));
        } else if (kind == "quiet-rtt") {
            report("quiet-rtt", size, roundTrips(quiet, count, size, Clock::time_point::max()));
        } else if (kind == "busy-rtt") {
            const auto pattern = randomBytes(16 * kChunk, 5);
            std::vector<Flow> flows {flow(link.serial, link.clients, pattern, 0, kEndless)};
            const auto [latencies, took] = whileStreaming(link, {quiet}, count, size, flows);
            report("busy-rtt", size, latencies.front());
            std::printf("stream bytes=%zu seconds=%.3f\n", flows[0].written, took);
        } else if (kind == "hold") {
            hold(link, bytes);
        } else if (kind == "s2n" || kind == "n2s") {
            const auto data = randomBytes(bytes, 0x9e3779b97f4a7c15ull);
            std::vector<Flow> flows {kind == "s2n" ? flow(link.serial, link.clients, data, data.size(), data.size())
                                                   : flow(link.clients[0], {link.serial}, data, data.size(), data.size())};
            const double cpuBefore = cpuOf(link.pid);
            const double took = transfer(link, flows);
            std::printf("%s bytes=%zu seconds=%.4f cpu=%.3f\n", kind.c_str(), flows[0].written, took,
                        cpuOf(link.pid) - cpuBefore);
        } else {
            fail("unknown phase " + phase);
        }
        std::fflush(stdout);
    }
    // Read while the connections are still open: some bridges end with them.
    printMemory(link.pid);
    return 0;
}

/// Finds the connection each port's bridge made: every port writes its own
/// tag ("#N\n", again while unheard) until a connection carries it.
std::vector<int> pairUp(const std::vector<int> &ports, const std::vector<int> &accepted)
{
    std::vector<int> paired(ports.size(), -1);
    std::vector<std::string> heard(accepted.size());
    std::vector<bool> known(accepted.size(), false);
    std::vector<pollfd> polls;
    for (int fd : accepted)
        polls.push_back({fd, POLLIN, 0});
    std::vector<unsigned char> buffer(kChunk);
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    auto lastTags = Clock::now() - std::chrono::seconds(1);
    std::size_t found = 0;
    while (found < ports.size()) {
        if (Clock::now() > deadline)
            fail("only " + std::to_string(found) + " of " + std::to_string(ports.size()) + " ports carry data");
        if (Clock::now() - lastTags > std::chrono::milliseconds(200)) {
            for (std::size_t i = 0; i < ports.size(); ++i)
                if (paired[i] < 0) {
                    const std::string tag = "#" + std::to_string(i) + "\n";
                    send(ports[i], reinterpret_cast<const unsigned char *>(tag.data()), tag.size());
                }
            lastTags = Clock::now();
        }
        ::poll(polls.data(), polls.size(), 50);
        for (std::size_t j = 0; j < accepted.size(); ++j) {
            if (!(polls[j].revents & POLLIN))
                continue;
            const auto got = static_cast<std::size_t>(readSome(accepted[j], buffer.data(), kChunk));
            if (known[j])
                continue;
            heard[j].append(reinterpret_cast<const char *>(buffer.data()), got);
            const auto hash = heard[j].find('#');
            const auto end = heard[j].find('\n', hash == std::string::npos ? heard[j].size() : hash);
            if (end == std::string::npos)
                continue;
            const auto i = std::strtoul(heard[j].c_str() + hash + 1, nullptr, 10);
            if (i >= ports.size() || paired[i] >= 0)
                fail("a connection carries a stranger's tag: " + heard[j]);
            paired[i] = accepted[j];
            known[j] = true;
            ++found;
        }
    }
    return paired;
}

/// Writes a mark on every writer until its own reader has heard one.
void hearEach(const std::vector<int> &writers, const std::vector<int> &readers)
{
    const unsigned char mark = '.';
    std::vector<bool> heard(readers.size(), false);
    std::vector<unsigned char> buffer(kChunk);
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (!std::all_of(heard.begin(), heard.end(), [](bool h) { return h; })) {
        if (Clock::now() > deadline)
            fail("a connection does not carry data to its port");
        std::vector<pollfd> polls;
        for (std::size_t i = 0; i < readers.size(); ++i) {
            if (!heard[i])
                send(writers[i], &mark, 1);
            polls.push_back({readers[i], POLLIN, 0});
        }
        ::poll(polls.data(), polls.size(), 200);
        for (std::size_t i = 0; i < readers.size(); ++i)
            if (polls[i].revents & POLLIN)
                heard[i] = heard[i] || readSome(readers[i], buffer.data(), kChunk) > 0;
    }
}

int sessions(int argc, char **argv)
{
    int listener = -1, count = 500;
    std::string referenceSerial, referenceNet;
    Link link;
    std::size_t bytes = 1 << 20;
    std::vector<std::string> paths;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--listen" && hasValue)
            listener = std::atoi(argv[++i]);
        else if (a == "--serial" && hasValue)
            paths.push_back(argv[++i]);
        else if (a == "--bytes" && hasValue)
            bytes = std::strtoul(argv[++i], nullptr, 10);
        else if (a == "--round-trips" && hasValue)
            count = std::atoi(argv[++i]);
        else if (a == "--pid" && hasValue)
            link.pid = std::atoi(argv[++i]);
        else if (a == "--budget" && hasValue)
            link.budget = std::atof(argv[++i]);
        else if (a == "--reference-serial" && hasValue)
            referenceSerial = argv[++i];
        else if (a == "--reference-net" && hasValue)
            referenceNet = argv[++i];
        else
            fail("unknown argument " + a);
    }
    if (listener < 0 || paths.size() < 2)
        fail("sessions needs --listen FD and two --serial PATH at least");
    std::vector<int> ports, accepted;
    for (const std::string &path : paths)
        ports.push_back(openDevice(path));
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (accepted.size() < ports.size()) {
        pollfd p {listener, POLLIN, 0};
        if (Clock::now() > deadline || ::poll(&p, 1, 1000) < 0)
            fail("only " + std::to_string(accepted.size()) + " of " + std::to_string(ports.size()) + " ports connected");
        if (!(p.revents & POLLIN))
            continue;
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            fail(std::string("accept: ") + std::strerror(errno));
        noDelay(fd);
        setNonBlocking(fd);
        accepted.push_back(fd);
    }
    const std::vector<int> sockets = pairUp(ports, accepted);
    hearEach(sockets, ports);
    std::vector<int> all = ports;
    all.insert(all.end(), sockets.begin(), sockets.end());
    drain(all);

    Link quiet;
    quiet.serial = ports.back();
    quiet.clients = {sockets.back()};
    std::vector<Link> measured {quiet};
    if (!referenceSerial.empty())
        measured.push_back(openLink(referenceSerial, referenceNet, 1));
    std::vector<const Link *> each;
    for (const Link &m : measured)
        each.push_back(&m);
    const std::vector<Latency> alone = roundTrips(each, count, 1, Clock::time_point::max());
    report("quiet-rtt", 1, alone.front());
    if (alone.size() > 1)
        report("reference-quiet-rtt", 1, alone.back());
    std::fflush(stdout);

    // Each stream starts at its own place in the pattern: bytes that reached
    // the wrong port would not match.
    const auto pattern = randomBytes(16 * kChunk, 11);
    std::vector<Flow> flows;
    for (std::size_t i = 0; i + 1 < ports.size(); ++i) {
        flows.push_back(flow(ports[i], {sockets[i]}, pattern, bytes, bytes, 4099 * i));
        flows.push_back(flow(sockets[i], {ports[i]}, pattern, bytes, bytes, 4099 * i + pattern.size() / 2));
    }
    const auto [latencies, took] = whileStreaming(link, measured, count, 1, flows);
    report("busy-rtt", 1, latencies.front());
    if (latencies.size() > 1)
        report("reference-busy-rtt", 1, latencies.back());
    std::size_t least = kEndless, total = 0;
    for (const Flow &f : flows) {
        least = std::min(least, f.written);
        total += f.written;
    }
    std::printf("sessions count=%zu bytes_min=%zu bytes_total=%zu seconds=%.3f\n", ports.size() - 1, least, total, took);
    printMemory(link.pid);
    return 0;
}

/// One client of a handshake round: done once it holds a session ticket.
struct Handshake {
    int fd = -1;
    SSL *ssl = nullptr;
    bool ticket = false;
};

int takeTicket(SSL *ssl, SSL_SESSION *)
{
    static_cast<Handshake *>(SSL_get_app_data(ssl))->ticket = true;
    return 0; // not kept: every handshake of the benchmark is a full one
}

/// Drives one client's handshake as far as it goes now; the events it waits for.
short advance(Handshake &h)
{
    unsigned char byte = 0;
    const int n = ::SSL_is_init_finished(h.ssl) ? ::SSL_read(h.ssl, &byte, 1) : ::SSL_do_handshake(h.ssl);
    if (h.ticket)
        return 0;
    const int error = ::SSL_get_error(h.ssl, n);
    if (n > 0 || error == SSL_ERROR_WANT_READ)
        return POLLIN;
    if (error == SSL_ERROR_WANT_WRITE)
        return POLLOUT;
    fail("TLS handshake: " + (error == SSL_ERROR_ZERO_RETURN ? std::string("the bridge closed") : openSslReason()));
}

int handshakes(int argc, char **argv)
{
    std::string net;
    Tls tls;
    int clients = 100, rounds = 1;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--net" && hasValue)
            net = argv[++i];
        else if (a == "--tls" && hasValue)
            tls.caFile = argv[++i];
        else if (a == "--clients" && hasValue)
            clients = std::max(1, std::atoi(argv[++i]));
        else if (a == "--rounds" && hasValue)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if ((a == "--pid" || a == "--budget") && hasValue)
            ++i; // for run; no use here
        else
            fail("unknown argument " + a);
    }
    const bool ipv6 = net.rfind("connect6:", 0) == 0;
    if (!ipv6 && net.rfind("connect:", 0) != 0)
        fail("handshakes needs --net connect:PORT or connect6:PORT");
    if (tls.caFile.empty())
        fail("handshakes needs --tls CAFILE");
    SSL_CTX *context = tlsContext(tls, false);
    ::SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    ::SSL_CTX_sess_set_new_cb(context, takeTicket);
    const int port = numberAfter(net, ipv6 ? "connect6:" : "connect:");
    sockaddr_in a = loopback(port);
    sockaddr_in6 a6 {};
    a6.sin6_family = AF_INET6;
    a6.sin6_port = htons(static_cast<uint16_t>(port));
    a6.sin6_addr = in6addr_loopback;
    const sockaddr *to = ipv6 ? reinterpret_cast<const sockaddr *>(&a6) : reinterpret_cast<const sockaddr *>(&a);
    ::close(connectTo(port, ipv6)); // the bridge listens by now
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (int round = 0; round < rounds; ++round) {
        std::vector<Handshake> all(static_cast<std::size_t>(clients));
        std::vector<pollfd> polls(all.size());
        const auto start = Clock::now();
        for (std::size_t i = 0; i < all.size(); ++i) {
            Handshake &h = all[i];
            h.fd = ::socket(to->sa_family, SOCK_STREAM | SOCK_NONBLOCK, 0);
            if (::connect(h.fd, to, ipv6 ? sizeof a6 : sizeof a) != 0 && errno != EINPROGRESS)
                fail("cannot connect to port " + std::to_string(port) + ": " + std::strerror(errno));
            h.ssl = newTls(context, h.fd, false, ipv6);
            SSL_set_app_data(h.ssl, &h);
            ::SSL_set_connect_state(h.ssl);
            polls[i] = {h.fd, POLLOUT, 0}; // connected first
        }
        std::size_t left = all.size();
        while (left > 0) {
            if (Clock::now() - start > kStall)
                fail(std::to_string(left) + " handshakes of " + std::to_string(clients) + " did not finish");
            if (::poll(polls.data(), polls.size(), 1000) < 0 && errno != EINTR)
                fail(std::string("poll: ") + std::strerror(errno));
            for (std::size_t i = 0; i < all.size(); ++i) {
                if (polls[i].fd < 0 || polls[i].revents == 0)
                    continue;
                polls[i].events = advance(all[i]);
                if (polls[i].events == 0) {
                    polls[i].fd = -1;
                    --left;
                }
            }
        }
        std::printf("handshakes count=%d seconds=%.4f\n", clients, seconds(Clock::now() - start));
        std::fflush(stdout);
        for (Handshake &h : all) {
            ::SSL_free(h.ssl);
            ::close(h.fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the bridge lets them go
    }
    return 0;
}

/// A thousand connections need more descriptors than the usual soft limit.
void raiseFileLimit()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

/// Writes all of a chunk to a blocking descriptor.
bool writeAll(int fd, const char *bytes, ssize_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, static_cast<std::size_t>(size));
        if (n <= 0 && errno != EINTR)
            return false;
        bytes += std::max<ssize_t>(n, 0);
        size -= std::max<ssize_t>(n, 0);
    }
    return true;
}

int relay(const std::string &path, int port)
{
    const int device = openDevice(path);
    ::fcntl(device, F_SETFL, ::fcntl(device, F_GETFL) & ~O_NONBLOCK);
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in a = loopback(port);
    if (::bind(listener, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0 || ::listen(listener, 1) != 0)
        fail(std::string("listen: ") + std::strerror(errno));
    const int client = ::accept(listener, nullptr, nullptr);
    noDelay(client);
    pollfd polls[2] = {{device, POLLIN, 0}, {client, POLLIN, 0}};
    std::vector<char> buffer(kChunk);
    for (;;) {
        if (::poll(polls, 2, -1) < 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (!polls[i].revents)
                continue;
            const ssize_t got = ::read(polls[i].fd, buffer.data(), buffer.size());
            if (got <= 0 || !writeAll(polls[1 - i].fd, buffer.data(), got))
                return 0;
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    raiseFileLimit();
    if (mode == "run")
        return run(argc, argv);
    if (mode == "sessions")
        return sessions(argc, argv);
    if (mode == "handshakes")
        return handshakes(argc, argv);
    if (mode == "relay" && argc == 4)
        return relay(argv[2], std::atoi(argv[3]));
    std::fprintf(stderr, "usage: probe run --serial fd:N|PATH --net connect:PORT|connect6:PORT|accept:FD|fd:N PHASE...\n"
                         "       probe handshakes --net connect:PORT|connect6:PORT --tls CAFILE --clients N"
                         " --rounds R\n"
                         "       probe sessions --listen FD --serial PATH... --bytes B --round-trips COUNT\n"
                         "       probe relay PATH PORT\n");
    return 2;
}
