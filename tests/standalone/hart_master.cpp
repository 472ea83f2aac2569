// An independent HART master, written without any of Tesmar's code (no Qt,
// no project headers): it starts tesmar-sim, talks raw bytes to the
// pseudo-terminal it prints, and checks that the virtual line behaves like
// the transmitter family on a real wire.
//
// Usage: hart_master <path to tesmar-sim>
// Exit status 0 when every check passes; each failure is printed.

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

int failures = 0;

void check(bool ok, const std::string &what)
{
    std::printf("%s: %s\n", ok ? "ok  " : "FAIL", what.c_str());
    if (!ok)
        ++failures;
}

long long nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

Bytes frame(const Bytes &address, uint8_t command, const Bytes &data = {})
{
    Bytes f(5, 0xFF);
    const size_t start = f.size();
    f.push_back(address.size() == 5 ? 0x82 : 0x02);
    f.insert(f.end(), address.begin(), address.end());
    f.push_back(command);
    f.push_back(uint8_t(data.size()));
    f.insert(f.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (size_t i = start; i < f.size(); ++i)
        sum ^= f[i];
    f.push_back(sum);
    return f;
}

Bytes longAddress(uint8_t a) { return {0x0F, 0x02, a, 0xFD, 0xEF}; }

struct Answer
{
    bool received = false;
    bool checksumOk = false;
    uint8_t delimiter = 0;
    Bytes address;
    int command = -1;
    int byteCount = -1;
    Bytes status;
    Bytes data;
};

// Reads one answer frame, waiting at most timeoutMs in all.
Answer readAnswer(int fd, int timeoutMs)
{
    Answer a;
    Bytes buf;
    const long long deadline = nowMs() + timeoutMs;
    size_t need = 0; // total frame length once known
    size_t delim = 0;
    for (;;) {
        // Parse what we have.
        if (need == 0) {
            size_t i = 0;
            while (i < buf.size() && buf[i] == 0xFF)
                ++i;
            if (i < buf.size()) {
                if (i < 2 || (buf[i] != 0x02 && buf[i] != 0x82)) {
                    buf.erase(buf.begin(), buf.begin() + long(i) + 1); // noise
                    continue;
                }
                delim = i;
                const size_t countAt = delim + (buf[delim] == 0x82 ? 7 : 3);
                if (countAt < buf.size())
                    need = countAt + 1 + 2 + buf[countAt] + 1;
            }
        }
        if (need != 0 && buf.size() >= need)
            break;
        const long long left = deadline - nowMs();
        if (left <= 0)
            return a;
        pollfd p {fd, POLLIN, 0};
        if (::poll(&p, 1, int(left)) <= 0)
            continue;
        uint8_t tmp[256];
        const ssize_t n = ::read(fd, tmp, sizeof tmp);
        if (n > 0)
            buf.insert(buf.end(), tmp, tmp + n);
    }
    a.received = true;
    a.delimiter = buf[delim];
    const size_t addrLen = a.delimiter == 0x82 ? 5 : 1;
    size_t p = delim + 1;
    a.address.assign(buf.begin() + long(p), buf.begin() + long(p + addrLen));
    p += addrLen;
    a.command = buf[p++];
    a.byteCount = buf[p++];
    a.status.assign(buf.begin() + long(p), buf.begin() + long(p + 2));
    p += 2;
    a.data.assign(buf.begin() + long(p), buf.begin() + long(p) + a.byteCount);
    uint8_t sum = 0;
    for (size_t i = delim; i < need - 1; ++i)
        sum ^= buf[i];
    a.checksumOk = sum == buf[need - 1];
    return a;
}

Answer transact(int fd, const Bytes &request, int timeoutMs)
{
    ::tcflush(fd, TCIFLUSH);
    if (::write(fd, request.data(), request.size()) != ssize_t(request.size()))
        return {};
    return readAnswer(fd, timeoutMs);
}

bool wellFormed(const Answer &a, const Bytes &address, int command)
{
    return a.received && a.checksumOk && a.address == address && a.command == command
        && a.delimiter == (address.size() == 5 ? 0x82 : 0x02) && a.byteCount == int(a.data.size())
        && a.status == Bytes{0, 0};
}

std::string hex(const Bytes &b)
{
    std::string s;
    char t[4];
    for (uint8_t c : b) {
        std::snprintf(t, sizeof t, "%02x ", c);
        s += t;
    }
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <tesmar-sim>\n", argv[0]);
        return 2;
    }
    char dirTemplate[] = "/tmp/hart-master.XXXXXX";
    const char *dir = ::mkdtemp(dirTemplate);
    if (!dir)
        return 2;
    const std::string link = std::string(dir) + "/line";

    int out[2];
    if (::pipe(out) != 0)
        return 2;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        ::execl(argv[1], argv[1], "--devices", "1,2,5", "--baud", "0", "--turnaround", "0",
                "--link", link.c_str(), static_cast<char *>(nullptr));
        std::perror("exec");
        ::_exit(127);
    }
    ::close(out[1]);

    // The first line of its output is the slave path.
    std::string slave;
    const long long deadline = nowMs() + 10000;
    while (slave.empty() || slave.back() != '\n') {
        pollfd p {out[0], POLLIN, 0};
        const long long left = deadline - nowMs();
        if (left <= 0 || ::poll(&p, 1, int(left)) <= 0)
            break;
        char c;
        if (::read(out[0], &c, 1) != 1)
            break;
        slave += c;
    }
    check(!slave.empty() && slave.back() == '\n', "simulator printed its slave path");
    if (!slave.empty() && slave.back() == '\n')
        slave.pop_back();
    char target[256] = {};
    const ssize_t len = ::readlink(link.c_str(), target, sizeof target - 1);
    check(len > 0 && slave == std::string(target, size_t(len)), "--link points at the slave " + slave);

    const int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY);
    check(fd >= 0, "opened the line through the link");
    if (fd >= 0) {
        termios tio {};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, B1200);
        ::tcsetattr(fd, TCSANOW, &tio);

        // Scan: exactly 1, 2 and 5 answer command 0.
        std::string found;
        for (uint8_t a = 0; a <= 15; ++a) {
            const Answer ans = transact(fd, frame({a}, 0), 300);
            if (ans.received) {
                found += std::to_string(a) + " ";
                check(wellFormed(ans, {a}, 0), "command-0 answer of " + std::to_string(a) + " is well formed");
            }
        }
        check(found == "1 2 5 ", "scan finds exactly 1 2 5 (found: " + found + ")");

        // Write a register with command 91, read it back with command 51.
        const Bytes payload {0x12, 0x34, 0x56, 0x78};
        Bytes write {0x00, 0x3A};
        write.insert(write.end(), payload.begin(), payload.end());
        Answer ans = transact(fd, frame({2}, 91, write), 2000);
        check(wellFormed(ans, {2}, 91), "command-91 write answered: " + hex(ans.data));
        ans = transact(fd, frame({2}, 51, {0x00, 0x3A, 0x04}), 2000);
        check(wellFormed(ans, {2}, 51) && ans.data == payload, "command-51 reads back the write: " + hex(ans.data));
        ans = transact(fd, frame({1}, 51, {0x00, 0x3A, 0x04}), 2000);
        check(ans.received && ans.data != payload, "the other device kept its own value");

        // Long frame command 3: 24 data bytes, same long address back.
        ans = transact(fd, frame(longAddress(5), 3), 2000);
        check(wellFormed(ans, longAddress(5), 3) && ans.byteCount == 24,
              "long-frame command 3 answered with 24 data bytes (" + std::to_string(ans.byteCount) + ")");
        ans = transact(fd, frame(longAddress(4), 3), 300);
        check(!ans.received, "long frame to an absent device stays unanswered");
        ans = transact(fd, frame({0x0F, 0x02, 0x05, 0xFD, 0xEE}, 3), 300);
        check(!ans.received, "long frame with a foreign address stays unanswered");
        ::close(fd);
    }

    ::kill(pid, SIGTERM);
    int status = 0;
    pid_t waited = 0;
    const long long stopBy = nowMs() + 5000;
    while ((waited = ::waitpid(pid, &status, WNOHANG)) == 0 && nowMs() < stopBy)
        ::poll(nullptr, 0, 20);
    if (waited == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    check(waited == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0, "simulator exits cleanly on SIGTERM");
    struct stat st {};
    check(::lstat(link.c_str(), &st) != 0 && errno == ENOENT, "symlink removed on exit");
    ::rmdir(dir);

    std::printf("%s\n", failures == 0 ? "all checks passed" : "some checks FAILED");
    return failures == 0 ? 0 : 1;
}
