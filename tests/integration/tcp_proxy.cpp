// A TCP proxy for tests: listens on a free port of 127.0.0.1, writes the port
// number to the descriptor it was given, and forwards every connection to
// host:port. With a byte limit it ends (dropping every connection) once that
// many bytes went from the server to the client.
//
//   tcp_proxy <ready fd> <host> <port> <bytes before the cut, 0 = never>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

std::atomic<long long> toClient{0};
long long cutAfter = 0;

int Connect(const char* host, int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, host, &address.sin_addr);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

void Forward(int client, const char* host, int port) {
  const int server = Connect(host, port);
  if (server < 0) {
    close(client);
    return;
  }
  pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
  char buffer[65536];
  for (;;) {
    if (poll(fds, 2, -1) < 0) break;
    bool ended = false;
    for (int i = 0; i < 2 && !ended; ++i) {
      if (fds[i].revents == 0) continue;
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n <= 0) {
        ended = true;
        break;
      }
      if (i == 1 && cutAfter > 0 && (toClient += n) >= cutAfter) _exit(0);
      for (ssize_t done = 0; done < n;) {
        const ssize_t w = write(fds[1 - i].fd, buffer + done, static_cast<size_t>(n - done));
        if (w <= 0) {
          ended = true;
          break;
        }
        done += w;
      }
    }
    if (ended) break;
  }
  close(client);
  close(server);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  const int ready = std::atoi(argv[1]);
  const char* host = argv[2];
  const int port = std::atoi(argv[3]);
  cutAfter = std::atoll(argv[4]);

  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = 0;
  inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  socklen_t length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 16) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return 1;
  }
  const std::string text = std::to_string(ntohs(address.sin_port));
  if (write(ready, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return 1;
  close(ready);
  for (;;) {
    const int client = accept(listener, nullptr, nullptr);
    if (client < 0) continue;
    std::thread(Forward, client, host, port).detach();
  }
}
