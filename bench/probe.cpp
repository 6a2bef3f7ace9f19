// The measuring end of the bridge benchmark: it holds the serial side and the
// network side of one bridge and moves verified data through it. Python
// starts the bridges; every byte of the data path is moved here.
//
//   probe run --serial fd:N|PATH --net connect:PORT|accept:FD|fd:N
//             [--clients N] [--pid PID] [--budget S] PHASE...
//       PHASE: s2n:BYTES (serial -> every client), n2s:BYTES (client -> serial),
//              rtt:COUNT:SIZE (client -> serial, echoed back, one in flight)
//       One line per phase: "s2n bytes=... seconds=... cpu=..." or
//       "rtt size=... p50_us=... p99_us=...". cpu is the bridge's utime+stime
//       over the phase in seconds. With --pid a last line gives its peak
//       resident memory and Private_Dirty: "memory hwm_kb=... dirty_kb=...".
//   probe relay PATH PORT
//       The reference relay: one poll, one read, one write per chunk between
//       the device PATH and one TCP client on 127.0.0.1:PORT.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kChunk = 65536;
constexpr auto kStall = std::chrono::seconds(30); // no progress for this long ends the run

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

// The bridge may still be starting: retry for a while.
int connectTo(int port)
{
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    const sockaddr_in a = loopback(port);
    for (;;) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&a), sizeof a) == 0) {
            noDelay(fd);
            return fd;
        }
        ::close(fd);
        if (Clock::now() > deadline)
            fail("cannot connect to port " + std::to_string(port));
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

/// The bridge's CPU time so far (all its threads), in seconds.
double cpuOf(int pid)
{
    if (pid <= 0)
        return 0;
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14) // utime, stime
            ticks += std::stod(field);
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
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
    double budget = 1e9; // seconds after which no new data is written
};

/// Reads whatever is waiting on fd (0 when nothing is); a closed or broken
/// descriptor ends the run.
ssize_t readSome(int fd, unsigned char *into, std::size_t size)
{
    const ssize_t got = ::read(fd, into, size);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return 0;
    if (got <= 0)
        fail(got == 0 ? "the bridge closed the connection" : std::string("read: ") + std::strerror(errno));
    return got;
}

/// Writes data from `from` and checks that every reader receives all of it,
/// byte for byte. Returns the bytes moved and the time until the last one
/// arrived everywhere.
std::pair<std::size_t, double> transfer(const Link &link, int from, const std::vector<int> &to,
                                        const std::vector<unsigned char> &data)
{
    std::size_t written = 0;
    std::vector<std::size_t> received(to.size(), 0);
    std::vector<unsigned char> buffer(kChunk);
    std::vector<pollfd> polls(to.size() + 1);
    const auto start = Clock::now();
    const auto stopWriting = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(link.budget));
    auto progress = start;
    std::size_t end = data.size();
    for (;;) {
        if (written < end && Clock::now() > stopWriting)
            end = written;
        if (std::all_of(received.begin(), received.end(), [&](std::size_t r) { return r == end; }) && written == end)
            break;
        for (std::size_t i = 0; i < to.size(); ++i)
            polls[i] = {to[i], POLLIN, 0};
        polls.back() = {from, static_cast<short>(written < end ? POLLOUT : 0), 0};
        if (::poll(polls.data(), polls.size(), 1000) < 0 && errno != EINTR)
            fail(std::string("poll: ") + std::strerror(errno));
        if (polls.back().revents & POLLOUT) {
            const ssize_t put = ::write(from, data.data() + written, std::min(kChunk, end - written));
            if (put > 0) {
                written += static_cast<std::size_t>(put);
                progress = Clock::now();
            }
        }
        for (std::size_t i = 0; i < to.size(); ++i) {
            if (!(polls[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t got = readSome(to[i], buffer.data(), kChunk);
            if (got == 0)
                continue;
            const auto n = static_cast<std::size_t>(got);
            if (received[i] + n > written || std::memcmp(buffer.data(), data.data() + received[i], n) != 0)
                fail("reader " + std::to_string(i) + ": wrong bytes after " + std::to_string(received[i]));
            received[i] += n;
            progress = Clock::now();
        }
        if (Clock::now() - progress > kStall)
            fail("stalled: " + std::to_string(written) + " bytes written, reader 0 has " + std::to_string(received[0]));
    }
    return {end, seconds(Clock::now() - start)};
}

/// Receives exactly size bytes on fd (one in flight: the bytes are there soon).
void receive(int fd, unsigned char *into, std::size_t size)
{
    std::size_t got = 0;
    while (got < size) {
        pollfd p {fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::chrono::milliseconds(kStall).count())) == 0)
            fail("round trip: no answer");
        got += static_cast<std::size_t>(readSome(fd, into + got, size - got));
    }
}

void send(int fd, const unsigned char *bytes, std::size_t size)
{
    for (std::size_t put = 0; put < size;) {
        pollfd p {fd, POLLOUT, 0};
        ::poll(&p, 1, 1000);
        const ssize_t n = ::write(fd, bytes + put, size - put);
        if (n > 0)
            put += static_cast<std::size_t>(n);
    }
}

void roundTrips(const Link &link, int count, std::size_t size)
{
    const auto message = randomBytes(size * static_cast<std::size_t>(count), 7);
    std::vector<unsigned char> there(size), back(size);
    std::vector<double> micros;
    for (int i = 0; i < count; ++i) {
        const unsigned char *m = message.data() + size * static_cast<std::size_t>(i);
        const auto start = Clock::now();
        send(link.clients[0], m, size);
        receive(link.serial, there.data(), size);
        send(link.serial, there.data(), size);
        receive(link.clients[0], back.data(), size);
        micros.push_back(seconds(Clock::now() - start) * 1e6);
        if (std::memcmp(back.data(), m, size) != 0)
            fail("round trip: wrong bytes");
    }
    std::sort(micros.begin(), micros.end());
    const auto at = [&](double q) { return micros[static_cast<std::size_t>(q * static_cast<double>(micros.size() - 1))]; };
    std::printf("rtt size=%zu p50_us=%.1f p99_us=%.1f\n", size, at(0.5), at(0.99));
}

/// Waits until both directions carry data (a bridge may accept before it
/// forwards), then drains what the probing left behind.
void settle(const Link &link)
{
    const unsigned char mark = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(15);
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
            ::poll(polls.data(), polls.size(), 50);
            for (std::size_t i = 0; i < readers.size(); ++i)
                if (polls[i].revents & POLLIN)
                    heard[i] = heard[i] || readSome(readers[i], buffer.data(), kChunk) > 0;
        }
    };
    until(link.serial, link.clients);
    until(link.clients[0], {link.serial});
    std::vector<pollfd> polls;
    for (int fd : link.clients)
        polls.push_back({fd, POLLIN, 0});
    polls.push_back({link.serial, POLLIN, 0});
    while (::poll(polls.data(), polls.size(), 300) > 0)
        for (auto &p : polls)
            if (p.revents & POLLIN)
                readSome(p.fd, buffer.data(), kChunk);
}

int run(int argc, char **argv)
{
    Link link;
    std::string serial, net;
    int clients = 1;
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
            link.pid = std::atoi(argv[++i]);
        else if (a == "--budget" && hasValue)
            link.budget = std::atof(argv[++i]);
        else
            phases.push_back(a);
    }
    link.serial = serial.rfind("fd:", 0) == 0 ? numberAfter(serial, "fd:") : openDevice(serial);
    for (int i = 0; i < clients; ++i) {
        if (net.rfind("connect:", 0) == 0)
            link.clients.push_back(connectTo(numberAfter(net, "connect:")));
        else if (net.rfind("accept:", 0) == 0)
            link.clients.push_back(acceptOn(numberAfter(net, "accept:")));
        else if (net.rfind("fd:", 0) == 0)
            link.clients.push_back(numberAfter(net, "fd:"));
        else
            fail("unknown --net " + net);
    }
    setNonBlocking(link.serial);
    for (int fd : link.clients)
        setNonBlocking(fd);
    settle(link);

    for (const std::string &phase : phases) {
        const std::string kind = phase.substr(0, phase.find(':'));
        const std::string rest = phase.substr(std::min(phase.size(), kind.size() + 1));
        if (kind == "rtt") {
            roundTrips(link, std::atoi(rest.c_str()), std::strtoul(rest.c_str() + rest.find(':') + 1, nullptr, 10));
        } else if (kind == "s2n" || kind == "n2s") {
            const auto data = randomBytes(std::strtoul(rest.c_str(), nullptr, 10), 0x9e3779b97f4a7c15ull);
            const double cpuBefore = cpuOf(link.pid);
            const auto [bytes, took] = kind == "s2n" ? transfer(link, link.serial, link.clients, data)
                                                     : transfer(link, link.clients[0], {link.serial}, data);
            std::printf("%s bytes=%zu seconds=%.4f cpu=%.3f\n", kind.c_str(), bytes, took, cpuOf(link.pid) - cpuBefore);
        } else {
            fail("unknown phase " + phase);
        }
        std::fflush(stdout);
    }
    // Read while the connections are still open: some bridges end with them.
    if (link.pid > 0)
        std::printf("memory hwm_kb=%ld dirty_kb=%ld\n", kilobytes(link.pid, "status", "VmHWM:"),
                    kilobytes(link.pid, "smaps_rollup", "Private_Dirty:"));
    return 0;
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
    if (mode == "run")
        return run(argc, argv);
    if (mode == "relay" && argc == 4)
        return relay(argv[2], std::atoi(argv[3]));
    std::fprintf(stderr, "usage: probe run --serial fd:N|PATH --net connect:PORT|accept:FD|fd:N PHASE...\n"
                         "       probe relay PATH PORT\n");
    return 2;
}
