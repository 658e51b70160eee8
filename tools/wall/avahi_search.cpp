// Avahi's client runs its own thread (the threaded poll); every callback below runs on it, and
// only found() is asked from elsewhere, under the lock.
#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-client/publish.h>
#include <avahi-common/error.h>
#include <avahi-common/thread-watch.h>

#include <mutex>

#include "tools/wall/leader_search.h"

namespace {

const std::string NO_DAEMON = "no Avahi daemon to announce or find the leader on the LAN (mDNS)";

class AvahiBase {
 protected:
  explicit AvahiBase(SayLine say) : say_(std::move(say)) {}
  ~AvahiBase() {
    if (poll_) avahi_threaded_poll_stop(poll_);
    if (client_) avahi_client_free(client_);
    if (poll_) avahi_threaded_poll_free(poll_);
  }
  // AVAHI_CLIENT_NO_FAIL: without a daemon the client waits for one instead of failing.
  void start(AvahiClientCallback callback) {
    poll_ = avahi_threaded_poll_new();
    if (!poll_) return;
    int error = 0;
    client_ = avahi_client_new(avahi_threaded_poll_get(poll_), AVAHI_CLIENT_NO_FAIL, callback, this, &error);
    if (!client_) {  // not even D-Bus to wait on
      say_once(no_daemon_said_, std::string(NO_DAEMON) + " (" + avahi_strerror(error) + ")" + advice_);
      return;
    }
    avahi_threaded_poll_start(poll_);
  }
  void say_once(bool& said, const std::string& line) {
    if (!said) say_(line);
    said = true;
  }
  SayLine say_;
  AvahiThreadedPoll* poll_ = nullptr;
  AvahiClient* client_ = nullptr;
  bool no_daemon_said_ = false;
  std::string advice_;  // what to do without a daemon
};

class AvahiAnnouncement : public LeaderAnnouncement, AvahiBase {
 public:
  AvahiAnnouncement(const std::string& show, int port, SayLine say) : AvahiBase(std::move(say)), show_(show), port_(port) {
    advice_ = "; followers must name this machine (--join HOST)";
    start(on_client);
  }
  ~AvahiAnnouncement() override {
    if (poll_) avahi_threaded_poll_stop(poll_);
  }

 private:
  static void on_client(AvahiClient* client, AvahiClientState state, void* self) {
    static_cast<AvahiAnnouncement*>(self)->client_changed(client, state);
  }
  static void on_group(AvahiEntryGroup*, AvahiEntryGroupState state, void* self) {
    auto* me = static_cast<AvahiAnnouncement*>(self);
    if (state == AVAHI_ENTRY_GROUP_COLLISION)
      me->say_once(me->collision_said_, "another leader already announces the show \"" + me->show_ +
                                            "\" on this LAN; followers that look for it may find that one");
  }
  void client_changed(AvahiClient* client, AvahiClientState state) {
    if (state == AVAHI_CLIENT_CONNECTING || state == AVAHI_CLIENT_FAILURE) {
      say_once(no_daemon_said_, NO_DAEMON + advice_);
      group_ = nullptr;  // freed with the client's connection
      return;
    }
    if (state != AVAHI_CLIENT_S_RUNNING || group_) return;
    group_ = avahi_entry_group_new(client, on_group, this);
    if (!group_ || avahi_entry_group_add_service(group_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0),
                                                 show_.c_str(), WALL_SERVICE_TYPE, nullptr, nullptr,
                                                 static_cast<uint16_t>(port_), nullptr) < 0 ||
        avahi_entry_group_commit(group_) < 0)
      say_(std::string("cannot announce the leader by mDNS: ") + avahi_strerror(avahi_client_errno(client)));
  }
  std::string show_;
  int port_;
  AvahiEntryGroup* group_ = nullptr;
  bool collision_said_ = false;
};

class AvahiSearch : public LeaderSearch, AvahiBase {
 public:
  AvahiSearch(const std::string& show, SayLine say) : AvahiBase(std::move(say)), show_(show) {
    advice_ = "; name the leader (--join HOST), or start avahi-daemon";
    start(on_client);
  }
  ~AvahiSearch() override {
    if (poll_) avahi_threaded_poll_stop(poll_);
  }
  std::optional<LeaderAddress> found() override {
    // Without D-Bus the client could not even wait for a daemon: it is made again now and then.
    if (!client_ && ++asked_ % RETRY_EVERY == 0) {
      if (poll_) avahi_threaded_poll_free(poll_);
      poll_ = nullptr;
      start(on_client);
    }
    std::lock_guard<std::mutex> hold(lock_);
    return found_;
  }

 private:
  static void on_client(AvahiClient* client, AvahiClientState state, void* self) {
    auto* me = static_cast<AvahiSearch*>(self);
    if (state == AVAHI_CLIENT_CONNECTING || state == AVAHI_CLIENT_FAILURE) {
      me->say_once(me->no_daemon_said_, NO_DAEMON + me->advice_);
      me->browser_ = nullptr;
      return;
    }
    if (state != AVAHI_CLIENT_S_RUNNING || me->browser_) return;
    me->browser_ = avahi_service_browser_new(client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, WALL_SERVICE_TYPE, nullptr,
                                             AvahiLookupFlags(0), on_browse, me);
  }
  static void on_browse(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol, AvahiBrowserEvent event,
                        const char* name, const char* type, const char* domain, AvahiLookupResultFlags, void* self) {
    auto* me = static_cast<AvahiSearch*>(self);
    if (event != AVAHI_BROWSER_NEW || !name || me->show_ != name) return;
    // IPv4 first: an IPv6 link-local address would need its interface named as well.
    avahi_service_resolver_new(me->client_, interface, protocol, name, type, domain, AVAHI_PROTO_INET,
                               AvahiLookupFlags(0), on_resolve, me);
  }
  static void on_resolve(AvahiServiceResolver* resolver, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event,
                         const char*, const char*, const char*, const char*, const AvahiAddress* address,
                         uint16_t port, AvahiStringList*, AvahiLookupResultFlags, void* self) {
    auto* me = static_cast<AvahiSearch*>(self);
    if (event == AVAHI_RESOLVER_FOUND && address) {
      char text[AVAHI_ADDRESS_STR_MAX];
      avahi_address_snprint(text, sizeof text, address);
      std::lock_guard<std::mutex> hold(me->lock_);
      if (!me->found_) me->found_ = LeaderAddress{text, port};
    }
    avahi_service_resolver_free(resolver);
  }
  static constexpr long RETRY_EVERY = 300;  // calls: about 5 s of frames
  long asked_ = 0;
  std::string show_;
  AvahiServiceBrowser* browser_ = nullptr;
  std::mutex lock_;
  std::optional<LeaderAddress> found_;
};

}  // namespace

std::unique_ptr<LeaderAnnouncement> announce_leader(const std::string& show, int port, SayLine say) {
  return std::make_unique<AvahiAnnouncement>(show, port, std::move(say));
}

std::unique_ptr<LeaderSearch> search_leader(const std::string& show, SayLine say) {
  return std::make_unique<AvahiSearch>(show, std::move(say));
}
