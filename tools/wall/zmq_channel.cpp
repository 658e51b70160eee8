// ZeroMQ's XPUB socket hands the leader each subscription, so a follower that joins gets the
// fingerprint list at once instead of at the next repeat; its SUB socket takes only messages that
// start with the prefix, none larger than MAX_MESSAGE, and ZeroMQ drops a peer that does not
// speak its protocol (a stray connection, garbage on the port) without the program seeing it.
#include <zmq.h>

#include <cstring>
#include <vector>

#include "tools/wall/wall_channel.h"
#include "tools/wall/wall_message.h"

namespace {

constexpr int64_t MAX_MESSAGE = 16 << 20;
constexpr int RECONNECT_MS = 100, RECONNECT_MAX_MS = 1000;

void* context() {
  static void* shared = zmq_ctx_new();
  return shared;
}

void set_int(void* socket, int option, int value) { zmq_setsockopt(socket, option, &value, sizeof value); }

std::string endpoint(const std::string& host, int port) {
  const bool v6 = host.find(':') != std::string::npos;
  return "tcp://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

class ZmqLeader : public LeaderChannel {
 public:
  explicit ZmqLeader(void* socket) : socket_(socket) {}
  ~ZmqLeader() override { zmq_close(socket_); }
  void publish(const std::string& message) override { zmq_send(socket_, message.data(), message.size(), ZMQ_DONTWAIT); }
  bool wait_for_join(int timeout_ms) override {
    zmq_pollitem_t item{socket_, 0, ZMQ_POLLIN, 0};
    bool joined = false;
    if (zmq_poll(&item, 1, timeout_ms) <= 0) return false;
    char frame[256];
    // Subscriptions only: 1 and the prefix. Whatever else reaches here is not ours to act on.
    while (true) {
      const int n = zmq_recv(socket_, frame, sizeof frame, ZMQ_DONTWAIT);
      if (n < 0) break;
      if (n >= 1 && frame[0] == 1) joined = true;
    }
    return joined;
  }

 private:
  void* socket_;
};

class ZmqFollower : public FollowerChannel {
 public:
  explicit ZmqFollower(void* socket) : socket_(socket) {}
  ~ZmqFollower() override { zmq_close(socket_); }
  std::optional<std::string> receive(int timeout_ms) override {
    zmq_pollitem_t item{socket_, 0, ZMQ_POLLIN, 0};
    if (zmq_poll(&item, 1, timeout_ms) <= 0) return std::nullopt;
    zmq_msg_t message;
    zmq_msg_init(&message);
    std::optional<std::string> text;
    if (zmq_msg_recv(&message, socket_, ZMQ_DONTWAIT) >= 0)
      text.emplace(static_cast<const char*>(zmq_msg_data(&message)), zmq_msg_size(&message));
    zmq_msg_close(&message);
    return text;
  }

 private:
  void* socket_;
};

}  // namespace

std::unique_ptr<LeaderChannel> leader_channel(int port, std::string& error) {
  void* socket = zmq_socket(context(), ZMQ_XPUB);
  set_int(socket, ZMQ_XPUB_VERBOSE, 1);  // a follower that reconnects is a join too
  set_int(socket, ZMQ_LINGER, 0);
  set_int(socket, ZMQ_IPV6, 1);
  set_int(socket, ZMQ_SNDHWM, 64);  // a follower that stops reading loses beats, never the leader's memory
  if (zmq_bind(socket, ("tcp://*:" + std::to_string(port)).c_str()) != 0) {
    error = "cannot listen on TCP port " + std::to_string(port) + ": " + zmq_strerror(zmq_errno());
    zmq_close(socket);
    return nullptr;
  }
  return std::make_unique<ZmqLeader>(socket);
}

std::unique_ptr<FollowerChannel> follower_channel(const std::string& host, int port, std::string& error) {
  void* socket = zmq_socket(context(), ZMQ_SUB);
  set_int(socket, ZMQ_LINGER, 0);
  set_int(socket, ZMQ_IPV6, 1);
  set_int(socket, ZMQ_RECONNECT_IVL, RECONNECT_MS);
  set_int(socket, ZMQ_RECONNECT_IVL_MAX, RECONNECT_MAX_MS);
  // A leader whose machine went without closing the connection (power, cable) is noticed, and
  // the connection made again, instead of waiting on a dead one for ever.
  set_int(socket, ZMQ_HEARTBEAT_IVL, 1000);
  set_int(socket, ZMQ_HEARTBEAT_TIMEOUT, 3000);
  zmq_setsockopt(socket, ZMQ_MAXMSGSIZE, &MAX_MESSAGE, sizeof MAX_MESSAGE);
  zmq_setsockopt(socket, ZMQ_SUBSCRIBE, MESSAGE_PREFIX.data(), MESSAGE_PREFIX.size());
  if (zmq_connect(socket, endpoint(host, port).c_str()) != 0) {
    error = "cannot reach " + host + ":" + std::to_string(port) + ": " + zmq_strerror(zmq_errno());
    zmq_close(socket);
    return nullptr;
  }
  return std::make_unique<ZmqFollower>(socket);
}
