// The clocks over GStreamer. GstNetTimeProvider answers each follower's poll with the leader's
// clock; GstNetClientClock polls (at most every 50 ms), filters round trips and follows the
// leader's time and rate, posting its own statistics on a bus. GstPtpClock follows a PTP
// grandmaster through GStreamer's privileged helper.
#include <gst/gst.h>
#include <gst/net/net.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "tools/wall/shared_clock.h"

#include "show/music_player.h"

namespace {

constexpr guint64 POLL_INTERVAL = GST_SECOND / 10;
constexpr int WINDOW_THRESHOLD = 8;
constexpr int WINDOW_SIZE = 128;

void init_gstreamer() {
  static const bool done = [] {
    gst_init(nullptr, nullptr);
    return true;
  }();
  (void)done;
}

class GstSharedClock : public SharedClock {
 public:
  explicit GstSharedClock(GstClock* clock) : clock_(clock) {}
  ~GstSharedClock() override {
    if (provider_) gst_object_unref(provider_);
    if (bus_) gst_object_unref(bus_);
    gst_object_unref(clock_);
  }
  int64_t now() override { return static_cast<int64_t>(gst_clock_get_time(clock_)); }
  bool synced() override { return gst_clock_is_synced(clock_); }
  std::string statistics() override {
    std::string line;
    if (!bus_) return line;
    while (GstMessage* message = gst_bus_pop(bus_)) {
      if (const GstStructure* s = gst_message_get_structure(message)) {
        gchar* text = gst_structure_to_string(s);
        line = text;  // the latest says the most
        g_free(text);
      }
      gst_message_unref(message);
    }
    return line;
  }

  GstClock* clock_;
  GstNetTimeProvider* provider_ = nullptr;
  GstBus* bus_ = nullptr;
};

class SystemClock : public SharedClock {
 public:
  int64_t now() override {
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
  }
  bool synced() override { return true; }  // as far as chrony or linuxptp keep it
};

std::unique_ptr<SharedClock> ptp_clock(int domain, std::string& error) {
  if (!gst_ptp_is_supported()) {
    error = "GStreamer has no PTP support on this system";
    return nullptr;
  }
  if (!gst_ptp_is_initialized() && !gst_ptp_init(GST_PTP_CLOCK_ID_NONE, nullptr)) {
    error = "cannot start GStreamer's PTP helper (gst-ptp-helper needs CAP_NET_BIND_SERVICE or setuid root)";
    return nullptr;
  }
  GstClock* clock = gst_ptp_clock_new("hallshow-wall-ptp", static_cast<guint>(domain));
  if (!clock) {
    error = "cannot follow PTP domain " + std::to_string(domain);
    return nullptr;
  }
  return std::make_unique<GstSharedClock>(clock);
}

}  // namespace

std::unique_ptr<SharedClock> leader_clock(const ClockChoice& choice, int& port, std::string& error) {
  if (choice.kind == ClockKind::System) return std::make_unique<SystemClock>();
  init_gstreamer();
  if (choice.kind == ClockKind::Ptp) return ptp_clock(choice.domain, error);
  auto clock = std::make_unique<GstSharedClock>(gst_system_clock_obtain());
  clock->provider_ = gst_net_time_provider_new(clock->clock_, nullptr, port);
  if (!clock->provider_) {
    error = "cannot serve the clock on UDP port " + std::to_string(port) + " (is another leader running here?)";
    return nullptr;
  }
  g_object_get(clock->provider_, "port", &port, nullptr);
  return clock;
}

std::unique_ptr<SharedClock> follower_clock(const ClockChoice& choice, const std::string& host, int port,
                                            std::string& error) {
  if (choice.kind == ClockKind::System) return std::make_unique<SystemClock>();
  init_gstreamer();
  if (choice.kind == ClockKind::Ptp) return ptp_clock(choice.domain, error);
  GstClock* client = gst_net_client_clock_new("hallshow-wall", host.c_str(), port, 0);
  if (!client) {
    error = "cannot follow the clock at " + host + ":" + std::to_string(port);
    return nullptr;
  }
  auto clock = std::make_unique<GstSharedClock>(client);
  // Once locked the client polls at its clock's "timeout", a second by default: its first rate,
  // fitted to a handful of polls 50 ms apart, can be off by a few thousand ppm, and at one poll a
  // second a follower would drift by milliseconds until enough polls had come. Ten a second
  // learn the rate in a second or two and cost the leader nothing to speak of.
  GstClock* internal = nullptr;
  g_object_get(client, "internal-clock", &internal, nullptr);
  if (internal) {
    g_object_set(internal, "timeout", POLL_INTERVAL, nullptr);
    // And it locks only once 8 polls are in (0.4 s) rather than 4: its first rate is then good
    // enough not to drift by milliseconds before the next ones (measured under load, docs/wall.md).
    g_object_set(internal, "window-threshold", WINDOW_THRESHOLD, nullptr);
    // The rate and offset are fitted to the last 128 polls (13 s) instead of 32 (3 s): on a LAN
    // with a few ms of jitter a follower then keeps within a millisecond, and keeps its rate
    // within ppm to run on alone when the leader goes (docs/wall.md has both measured).
    g_object_set(internal, "window-size", WINDOW_SIZE, nullptr);
    gst_object_unref(internal);
  }
  clock->bus_ = gst_bus_new();
  g_object_set(client, "bus", clock->bus_, nullptr);
  return clock;
}

int64_t clock_at(const std::function<int64_t()>& clock, double local) {
  constexpr double CLOSE = 50e-6;  // seconds between the monotonic readings around a good one
  double before = 0, after = 0;
  int64_t value = 0;
  for (int attempt = 0; attempt < 8; ++attempt) {
    before = steady_seconds();
    value = clock();
    after = steady_seconds();
    if (after - before < CLOSE) break;
  }
  return value + static_cast<int64_t>((local - (before + after) / 2) * 1e9);
}

int64_t true_nanoseconds() {
  timespec t{};
  syscall(SYS_clock_gettime, CLOCK_BOOTTIME, &t);
  return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}
