// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The umockdev side of the simulated printers. umockdev runs the ioctl
// handlers on a worker thread of its own; this file keeps every printer's
// state under one mutex and answers the usbfs ioctls libusb issues.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <glib-unix.h>
#include <glib.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <umockdev.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <thread>

#include "Descriptors.h"
#include "PacketStream.h"
#include "qv46sim.h"

namespace qv46sim {
namespace {

// An open handle polls ready all the time, so libusb asks for finished URBs
// in a loop; making "nothing yet" take this long keeps that loop cheap.
constexpr int kIdleReapDelayMs = 1;

struct Urb {
  UMockdevIoctlClient* client = nullptr;  // all three references are owned
  UMockdevIoctlData* urb = nullptr;
  UMockdevIoctlData* buffer = nullptr;
  bool done = false;
  int status = 0;
  int actual = 0;

  ~Urb() {
    if (buffer) g_object_unref(buffer);
    if (urb) g_object_unref(urb);
    if (client) g_object_unref(client);
  }
  usbdevfs_urb* Header() const { return reinterpret_cast<usbdevfs_urb*>(urb->data); }
  unsigned char* Bytes() const { return buffer ? buffer->data : nullptr; }
  int length() const { return buffer ? buffer->data_len : 0; }
};

// How an ioctl ends: its result and errno, possibly after a pause, and the
// URB it handed back (freed once the client has its copy).
struct Outcome {
  long result = 0;
  int error = 0;
  int delayMs = 0;
  std::unique_ptr<Urb> reaped;
};

Outcome Fail(int error, int delayMs = 0) {
  Outcome o;
  o.result = -1;
  o.error = error;
  o.delayMs = delayMs;
  return o;
}

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

UMockdevIoctlData* ResolveArg(UMockdevIoctlClient* client, gsize length) {
  return umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, length, nullptr);
}

std::string WithoutDoubleSlashes(std::string path) {
  for (std::size_t at; (at = path.find("//")) != std::string::npos;) path.erase(at, 1);
  return path;
}

// The process that just opened a node: the peer of the one connection to the
// node's ioctl socket `socketPath` that is not in `seen`, or -1. `seen`
// becomes the connections open now.
pid_t NewOpener(const std::string& socketPath, std::set<ino_t>& seen) {
  std::set<ino_t> open;
  pid_t opener = -1;
  int fresh = 0;
  DIR* fds = opendir("/proc/self/fd");
  if (fds == nullptr) return -1;
  while (const dirent* entry = readdir(fds)) {
    const int fd = std::atoi(entry->d_name);
    struct stat info;
    sockaddr_un address{};
    socklen_t length = sizeof address;
    int listening = 1;
    socklen_t flagLength = sizeof listening;
    if (entry->d_name[0] == '.' || fstat(fd, &info) != 0 || !S_ISSOCK(info.st_mode) ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        address.sun_family != AF_UNIX ||
        getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &flagLength) != 0 || listening ||
        WithoutDoubleSlashes(address.sun_path) != socketPath)
      continue;
    open.insert(info.st_ino);
    ucred peer{};
    socklen_t peerLength = sizeof peer;
    if (seen.count(info.st_ino) == 0 &&
        getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &peerLength) == 0) {
      opener = peer.pid;
      ++fresh;
    }
  }
  closedir(fds);
  seen.swap(open);
  return fresh == 1 ? opener : -1;
}

}  // namespace

struct Printer {
  int id = 0;
  PrinterConfig config;
  UsbAddress address{1, 2};
  UMockdevIoctlBase* handler = nullptr;
  Testbed::Impl* bed = nullptr;

  bool plugged = true;
  PacketStream stream;
  std::vector<ReceivedCommand> commands;
  std::string bulkOut;
  int captureFd = -1;

  gint64 outAt = 0;      // monotonic time of the last bytes received
  std::string inBytes;   // reply bytes not yet read
  gint64 inReadyAt = 0;  // monotonic time from which they may be read
  std::deque<std::unique_ptr<Urb>> urbs;
  std::set<UMockdevIoctlClient*> clients;  // open handles, referenced
  std::set<ino_t> connections;             // their sockets (see NewOpener)
  UMockdevIoctlClient* claimant = nullptr;
  int claimCount = 0;
  int maxOpen = 0;
  int refused = 0;
  // START commands printed, and those kept while the printer was in a fault.
  int printed = 0;
  int heldPrints = 0;

  ~Printer() {
    urbs.clear();
    for (UMockdevIoctlClient* client : clients) g_object_unref(client);
    if (captureFd >= 0) close(captureFd);
    if (handler) g_object_unref(handler);
  }
};

struct Testbed::Impl {
  std::mutex mutex;
  UMockdevTestbed* testbed = nullptr;
  std::string root;
  GMainContext* context = nullptr;
  GMainLoop* loop = nullptr;
  std::thread loopThread;
  std::map<int, std::unique_ptr<Printer>> printers;
  int nextId = 1;
  int maxClaimedAtOnce = 0;

  Printer* Find(int id) {
    auto it = printers.find(id);
    if (it == printers.end()) return nullptr;
    ForgetClosed(*it->second);
    return it->second.get();
  }

  // --- usbfs ioctls, called with mutex held ---

  Outcome Handle(Printer& p, UMockdevIoctlClient* client) {
    ForgetClosed(p);
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    switch (request) {
      case USBDEVFS_GET_CAPABILITIES:
        return Capabilities(client);
      case USBDEVFS_REAPURBNDELAY:  // libusb never reaps blocking
        return Reap(p, client);
      case USBDEVFS_RELEASEINTERFACE:
        return Release(p, client);
      default:
        break;
    }
    if (!p.plugged) return Fail(ENODEV);
    if (!p.config.nodeReady) {
      ++p.refused;
      return Fail(EACCES);
    }
    switch (request) {
      case USBDEVFS_SUBMITURB:
        return Submit(p, client);
      case USBDEVFS_DISCARDURB:
        return Discard(p, client);
      case USBDEVFS_CLAIMINTERFACE:
        return Claim(p, client);
      case USBDEVFS_GETDRIVER:
        return Fail(ENODATA);  // no kernel driver is ever bound
      case USBDEVFS_IOCTL:
        return DriverIoctl(client);
      case USBDEVFS_CLEAR_HALT:
      case USBDEVFS_RESET:
      case USBDEVFS_SETINTERFACE:
      case USBDEVFS_SETCONFIGURATION:
        return Outcome();
      default:
        return Fail(ENOTTY);
    }
  }

  Outcome Capabilities(UMockdevIoctlClient* client) {
    UMockdevIoctlData* caps = ResolveArg(client, sizeof(uint32_t));
    if (!caps) return Fail(EFAULT);
    uint32_t value = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
    std::memcpy(caps->data, &value, sizeof value);
    g_object_unref(caps);
    return Outcome();
  }

  Outcome DriverIoctl(UMockdevIoctlClient* client) {
    UMockdevIoctlData* data = ResolveArg(client, sizeof(usbdevfs_ioctl));
    if (!data) return Fail(EFAULT);
    int code = reinterpret_cast<usbdevfs_ioctl*>(data->data)->ioctl_code;
    g_object_unref(data);
    if (code == USBDEVFS_CONNECT) return Outcome();
    return Fail(ENODATA);  // USBDEVFS_DISCONNECT: there is no driver to detach
  }

  Outcome Claim(Printer& p, UMockdevIoctlClient* client) {
    UMockdevIoctlData* data = ResolveArg(client, sizeof(unsigned int));
    if (!data) return Fail(EFAULT);
    unsigned int interface = 0;
    std::memcpy(&interface, data->data, sizeof interface);
    g_object_unref(data);
    if (interface != 0) return Fail(ENOENT);
    if (p.claimant && p.claimant != client) return Fail(EBUSY);
    if (p.claimant != client) {
      p.claimant = client;
      ++p.claimCount;
      int claimedNow = 0;
      for (const auto& e : printers) {
        ForgetClosed(*e.second);
        claimedNow += e.second->claimant ? 1 : 0;
      }
      maxClaimedAtOnce = std::max(maxClaimedAtOnce, claimedNow);
    }
    return Outcome();
  }

  Outcome Release(Printer& p, const UMockdevIoctlClient* client) {
    if (p.claimant != client) return Fail(p.plugged ? EINVAL : ENODEV);
    DropClaim(p);
    return Outcome();
  }

  // A reply nobody reads any more is gone when its reader lets go.
  static void DropClaim(Printer& p) {
    p.claimant = nullptr;
    p.inBytes.clear();
  }

  Outcome Submit(Printer& p, UMockdevIoctlClient* client) {
    auto u = std::make_unique<Urb>();
    u->urb = ResolveArg(client, sizeof(usbdevfs_urb));
    if (!u->urb) return Fail(EFAULT);
    u->client = UMOCKDEV_IOCTL_CLIENT(g_object_ref(client));
    usbdevfs_urb* h = u->Header();
    if (h->buffer_length > 0) {
      u->buffer = umockdev_ioctl_data_resolve(u->urb, offsetof(usbdevfs_urb, buffer),
                                              static_cast<gsize>(h->buffer_length), nullptr);
      if (!u->buffer) return Fail(EFAULT);
    }
    if (h->type == USBDEVFS_URB_TYPE_CONTROL && h->endpoint == 0)
      Control(p, *u);
    else if (h->type == USBDEVFS_URB_TYPE_BULK && h->endpoint == kQv46BulkOut)
      BulkOut(p, *u);
    else if (h->type == USBDEVFS_URB_TYPE_BULK && h->endpoint == kQv46BulkIn)
      ;  // stays queued until reply bytes exist
    else
      return Fail(EINVAL);
    p.urbs.push_back(std::move(u));
    ServiceIn(p);
    return Outcome();
  }

  Outcome Discard(const Printer& p, UMockdevIoctlClient* client) {
    // The argument is the URB's address itself, not a pointer to it.
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    gulong address = 0;
    std::memcpy(&address, arg->data, std::min<std::size_t>(sizeof address, arg->data_len));
    for (const auto& u : p.urbs) {
      if (u->client == client && !u->done && u->urb->client_addr == address) {
        Finish(*u, -ENOENT, 0);
        return Outcome();
      }
    }
    return Fail(EINVAL);
  }

  Outcome Reap(Printer& p, UMockdevIoctlClient* client) {
    ServiceIn(p);
    auto it = std::find_if(p.urbs.begin(), p.urbs.end(),
                           [client](const auto& u) { return u->client == client && u->done; });
    if (it == p.urbs.end()) return Fail(p.plugged ? EAGAIN : ENODEV, kIdleReapDelayMs);
    Outcome o;
    o.reaped = std::move(*it);
    p.urbs.erase(it);
    usbdevfs_urb* h = o.reaped->Header();
    h->status = o.reaped->status;
    h->actual_length = o.reaped->actual;
    UMockdevIoctlData* slot = ResolveArg(client, sizeof(void*));
    if (!slot) return Fail(EFAULT);
    umockdev_ioctl_data_set_ptr(slot, 0, o.reaped->urb);
    g_object_unref(slot);
    return o;
  }

  static void Finish(Urb& u, int status, int actual) {
    u.done = true;
    u.status = status;
    u.actual = actual;
  }

  void Control(const Printer& p, Urb& u) {
    if (u.length() < 8) {
      Finish(u, -EPIPE, 0);
      return;
    }
    const unsigned char* setup = u.Bytes();
    const int requestType = setup[0], request = setup[1];
    const int value = Le16(setup + 2), length = Le16(setup + 6);
    std::string answer;
    bool stall = false;
    if (requestType == 0x80 && request == 6) {  // GET_DESCRIPTOR
      const int type = value >> 8, index = value & 0xFF;
      if (type == 1)
        answer = DeviceDescriptors().substr(0, 18);
      else if (type == 2)
        answer = DeviceDescriptors().substr(18);
      else if (type == 3 && index == 0)
        answer = LanguageDescriptor();
      else if (type == 3 && index == kManufacturerIndex)
        answer = StringDescriptor(p.config.manufacturer);
      else if (type == 3 && index == kProductIndex)
        answer = StringDescriptor(p.config.product);
      else if (type == 3 && index == kSerialIndex)
        answer = StringDescriptor(p.config.serial);
      else
        stall = true;
    } else if (requestType == 0xA1 && request == 0) {  // printer class GET_DEVICE_ID
      answer =
          !p.config.deviceIdRaw.empty()
              ? p.config.deviceIdRaw
              : DeviceIdAnswer(p.config.deviceId.empty() ? DefaultDeviceId() : p.config.deviceId);
    } else if (requestType & 0x80) {
      stall = true;
    }
    const int n = std::min({static_cast<int>(answer.size()), length, u.length() - 8});
    std::memcpy(u.Bytes() + 8, answer.data(), static_cast<std::size_t>(n));
    Finish(u, stall ? -EPIPE : 0, stall ? 0 : n);
  }

  void BulkOut(Printer& p, Urb& u) {
    const unsigned char* data = u.Bytes();
    const std::size_t n = static_cast<std::size_t>(u.length());
    const gint64 now = g_get_monotonic_time();
    if (p.stream.InPacket() && now - p.outAt > gint64(p.config.receiveTimeoutMs) * 1000)
      p.stream.Reset();
    p.outAt = now;
    p.bulkOut.append(reinterpret_cast<const char*>(data), n);
    if (p.captureFd >= 0 && n > 0 && write(p.captureFd, data, n) != static_cast<ssize_t>(n))
      g_warning("qv46sim: short write to capture file %s", p.config.captureFile.c_str());
    p.stream.Feed(data, n, [&p](const ReceivedCommand& c) {
      p.commands.push_back(c);
      if (c.command == "CNTRL" && c.parameter == "START") ++(InFault(p) ? p.heldPrints : p.printed);
      if (p.config.silent) return;
      auto reply = p.config.replies.find(QueryKey(c.command, c.parameter));
      if (reply == p.config.replies.end() || reply->second.kind == Reply::Kind::Silent) return;
      p.inBytes += reply->second.bytes;
      p.inReadyAt = g_get_monotonic_time() + gint64(p.config.replyDelayMs) * 1000;
    });
    Finish(u, 0, static_cast<int>(n));
  }

  // A printer that reports a fault (status 1000 and above) keeps what it
  // received and prints it once the fault is cleared.
  static bool InFault(const Printer& p) {
    auto status = p.config.replies.find("STATUS");
    if (status == p.config.replies.end() || status->second.kind != Reply::Kind::Value) return false;
    const std::string& bytes = status->second.bytes;  // eight length digits, text, CR
    return bytes.size() > 9 && std::atol(bytes.substr(8, bytes.size() - 9).c_str()) >= 1000;
  }

  static void PrintHeld(Printer& p) {
    if (InFault(p)) return;
    p.printed += p.heldPrints;
    p.heldPrints = 0;
  }

  // Hands pending reply bytes to the bulk IN URBs, oldest first.
  static void ServiceIn(Printer& p) {
    if (p.inBytes.empty() || g_get_monotonic_time() < p.inReadyAt) return;
    for (auto& u : p.urbs) {
      if (p.inBytes.empty()) break;
      if (u->done || u->Header()->endpoint != kQv46BulkIn) continue;
      std::size_t n = std::min(p.inBytes.size(), static_cast<std::size_t>(u->length()));
      std::memcpy(u->Bytes(), p.inBytes.data(), n);
      p.inBytes.erase(0, n);
      Finish(*u, 0, static_cast<int>(n));
    }
  }

  // umockdev does not signal a closed device node in this version, but
  // marks the client disconnected; the handle's claim and URBs go with it.
  static void ForgetClosed(Printer& p) {
    for (auto it = p.clients.begin(); it != p.clients.end();) {
      if (umockdev_ioctl_client_get_connected(*it))
        ++it;
      else
        it = Forget(p, it);
    }
  }

  static std::set<UMockdevIoctlClient*>::iterator Forget(
      Printer& p, std::set<UMockdevIoctlClient*>::iterator it) {
    UMockdevIoctlClient* client = *it;
    if (p.claimant == client) DropClaim(p);
    p.urbs.erase(std::remove_if(p.urbs.begin(), p.urbs.end(),
                                [client](const auto& u) { return u->client == client; }),
                 p.urbs.end());
    g_object_unref(client);
    return p.clients.erase(it);
  }

  // --- completion, possibly later on our own main context ---

  struct Deferred {
    UMockdevIoctlClient* client;
    long result;
    int error;
  };

  void Complete(UMockdevIoctlClient* client, Outcome& o) {
    if (o.delayMs == 0) {
      umockdev_ioctl_client_complete(client, o.result, o.error);
      return;
    }
    auto* d = new Deferred{UMOCKDEV_IOCTL_CLIENT(g_object_ref(client)), o.result, o.error};
    GSource* source = g_timeout_source_new(static_cast<guint>(o.delayMs));
    g_source_set_callback(
        source,
        [](gpointer data) -> gboolean {
          auto* d = static_cast<Deferred*>(data);
          umockdev_ioctl_client_complete(d->client, d->result, d->error);
          return G_SOURCE_REMOVE;
        },
        d,
        [](gpointer data) {
          auto* d = static_cast<Deferred*>(data);
          g_object_unref(d->client);
          delete d;
        });
    g_source_attach(source, context);
    g_source_unref(source);
  }
};

namespace {

gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
  auto* p = static_cast<Printer*>(data);
  Outcome o;
  {
    std::lock_guard<std::mutex> lock(p->bed->mutex);
    o = p->bed->Handle(*p, client);
  }
  p->bed->Complete(client, o);
  return TRUE;
}

// A kernel drops what an open file of a device node holds (its claim, its
// URBs) when the process that opened it ends, whatever it was doing. The
// preload's socket, which umockdev watches instead, outlives a process that
// died in the middle of a request, and is inherited by children; so the
// process itself is watched.
struct OpenerWatch {
  Printer* printer;
  UMockdevIoctlClient* client;  // referenced
  int pidfd;
};

gboolean OnOpenerEnded(gint, GIOCondition, gpointer data) {
  auto* w = static_cast<OpenerWatch*>(data);
  std::lock_guard<std::mutex> lock(w->printer->bed->mutex);
  auto it = w->printer->clients.find(w->client);
  if (it != w->printer->clients.end()) Testbed::Impl::Forget(*w->printer, it);
  return G_SOURCE_REMOVE;
}

void OnConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
  auto* p = static_cast<Printer*>(data);
  std::lock_guard<std::mutex> lock(p->bed->mutex);
  p->clients.insert(UMOCKDEV_IOCTL_CLIENT(g_object_ref(client)));
  p->maxOpen = std::max(p->maxOpen, static_cast<int>(p->clients.size()));
  const pid_t opener = NewOpener(
      WithoutDoubleSlashes(p->bed->root + "/ioctl" + DevNode(p->address)), p->connections);
  // glibc 2.36 declares pidfd_open without C linkage for C++.
  const int pidfd = opener > 0 ? static_cast<int>(syscall(SYS_pidfd_open, opener, 0)) : -1;
  if (pidfd < 0) {
    g_warning("qv46sim: the process that opened %s is not known", DevNode(p->address).c_str());
    return;
  }
  auto* watch = new OpenerWatch{p, UMOCKDEV_IOCTL_CLIENT(g_object_ref(client)), pidfd};
  GSource* source = g_unix_fd_source_new(pidfd, G_IO_IN);
  g_source_set_callback(source, G_SOURCE_FUNC(OnOpenerEnded), watch, [](gpointer data) {
    auto* w = static_cast<OpenerWatch*>(data);
    close(w->pidfd);
    g_object_unref(w->client);
    delete w;
  });
  g_source_attach(source, p->bed->context);
  g_source_unref(source);
}

}  // namespace

Testbed::Testbed() : impl_(std::make_unique<Impl>()) {
  // umockdev builds uevents through libudev, which finds the testbed only
  // under the preload; without it plug and unplug would go unannounced.
  void* preload = dlopen("libumockdev-preload.so.0", RTLD_LAZY | RTLD_NOLOAD);
  if (!preload) {
    g_warning("qv46sim: run under LD_PRELOAD=libumockdev-preload.so.0");
    return;
  }
  dlclose(preload);  // only asked whether it is loaded; the preload stays
  impl_->testbed = umockdev_testbed_new();
  if (!impl_->testbed) return;
  gchar* root = umockdev_testbed_get_root_dir(impl_->testbed);
  impl_->root = root;
  g_free(root);
  impl_->context = g_main_context_new();
  impl_->loop = g_main_loop_new(impl_->context, FALSE);
  impl_->loopThread = std::thread([loop = impl_->loop] { g_main_loop_run(loop); });
}

Testbed::~Testbed() {
  // No handler may run once the printers go; removing a device leaves its
  // handler attached, so unplugged printers are detached here too.
  for (const auto& entry : impl_->printers)
    umockdev_testbed_detach_ioctl(impl_->testbed, DevNode(entry.second->address).c_str(), nullptr);
  if (impl_->loop) {
    // Quit from inside the loop: a quit before g_main_loop_run starts is lost.
    GSource* quit = g_idle_source_new();
    g_source_set_callback(
        quit,
        [](gpointer loop) -> gboolean {
          g_main_loop_quit(static_cast<GMainLoop*>(loop));
          return G_SOURCE_REMOVE;
        },
        impl_->loop, nullptr);
    g_source_attach(quit, impl_->context);
    g_source_unref(quit);
    impl_->loopThread.join();
    g_main_loop_unref(impl_->loop);
    g_main_context_unref(impl_->context);
  }
  impl_->printers.clear();
  if (impl_->testbed) g_object_unref(impl_->testbed);
}

bool Testbed::Ok() const { return impl_->testbed && impl_->loop; }

int Testbed::Plug(const PrinterConfig& config) {
  if (!Ok()) return -1;
  auto p = std::make_unique<Printer>();
  p->bed = impl_.get();
  p->config = config;
  std::map<std::string, Reply> replies = DefaultReplies(config.serial);
  for (const auto& r : config.replies) replies[r.first] = r.second;
  p->config.replies = replies;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    p->id = impl_->nextId++;
  }
  // Bus 1 holds device numbers 2 to 127; further printers go on later buses.
  p->address = UsbAddress{1 + (p->id - 1) / 126, 2 + (p->id - 1) % 126};
  if (!config.captureFile.empty()) {
    p->captureFd =
        open(config.captureFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (p->captureFd < 0) return -1;
  }
  // The node answers before anyone hears of it: adding the device announces
  // it, and a client that connects to a node without its handler listening
  // ends its whole process.
  const UsbAddress address = p->address;
  const std::string node = DevNode(address);
  p->handler = umockdev_ioctl_base_new();
  g_signal_connect(p->handler, "handle-ioctl", G_CALLBACK(OnIoctl), p.get());
  g_signal_connect(p->handler, "client-connected", G_CALLBACK(OnConnected), p.get());
  if (!umockdev_testbed_attach_ioctl(impl_->testbed, node.c_str(), p->handler, nullptr)) return -1;
  const int id = p->id;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->printers[id] = std::move(p);
  }
  // Under the preload (which ok() requires) this sends the "add" uevent.
  if (!umockdev_testbed_add_from_string(impl_->testbed, SysfsRecord(address).c_str(), nullptr)) {
    umockdev_testbed_detach_ioctl(impl_->testbed, node.c_str(), nullptr);
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->printers.erase(id);
    return -1;
  }
  return id;
}

bool Testbed::Unplug(int id) {
  std::string syspath;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    Printer* p = impl_->Find(id);
    if (!p || !p->plugged) return false;
    p->plugged = false;
    for (const auto& u : p->urbs)
      if (!u->done) Impl::Finish(*u, -ESHUTDOWN, 0);
    syspath = SysfsPath(p->address);
  }
  // libusb loses the departure when the device is gone before its uevent.
  umockdev_testbed_uevent(impl_->testbed, syspath.c_str(), "remove");
  umockdev_testbed_remove_device(impl_->testbed, syspath.c_str());
  return true;
}

bool Testbed::Plugged(int id) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  const Printer* p = impl_->Find(id);
  return p && p->plugged;
}

void Testbed::SetReply(int id, const std::string& key, const Reply& reply) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (Printer* p = impl_->Find(id)) {
    p->config.replies[key] = reply;
    Impl::PrintHeld(*p);
  }
}

void Testbed::SetSilent(int id, bool silent) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (Printer* p = impl_->Find(id)) p->config.silent = silent;
}

void Testbed::SetReplyDelay(int id, int ms) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (Printer* p = impl_->Find(id)) p->config.replyDelayMs = ms;
}

void Testbed::SetNodeReady(int id) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (Printer* p = impl_->Find(id)) p->config.nodeReady = true;
}

std::vector<ReceivedCommand> Testbed::Commands(int id) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  Printer* p = impl_->Find(id);
  return p ? p->commands : std::vector<ReceivedCommand>();
}

std::string Testbed::BulkOut(int id) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  Printer* p = impl_->Find(id);
  return p ? p->bulkOut : std::string();
}

void Testbed::ClearReceived(int id) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (Printer* p = impl_->Find(id)) {
    p->commands.clear();
    p->bulkOut.clear();
  }
}

bool Testbed::Claimed(int id) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  const Printer* p = impl_->Find(id);
  return p && p->claimant;
}

int Testbed::ClaimCount(int id) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  Printer* p = impl_->Find(id);
  return p ? p->claimCount : 0;
}

int Testbed::OpenClients(int id) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  Printer* p = impl_->Find(id);
  return p ? static_cast<int>(p->clients.size()) : 0;
}

int Testbed::MaxOpenClients(int id) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  Printer* p = impl_->Find(id);
  return p ? p->maxOpen : 0;
}

int Testbed::MaxClaimedAtOnce() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->maxClaimedAtOnce;
}

int Testbed::Printed(int id) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  const Printer* p = impl_->Find(id);
  return p ? p->printed : 0;
}

int Testbed::HeldPrints(int id) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  const Printer* p = impl_->Find(id);
  return p ? p->heldPrints : 0;
}

int Testbed::RefusedRequests(int id) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  const Printer* p = impl_->Find(id);
  return p ? p->refused : 0;
}

const std::string& Testbed::RootDir() const { return impl_->root; }

std::vector<std::string> Testbed::Environment() const {
  // An ASan-built child refuses to start when the preload comes before its
  // runtime; it works fine once told not to check.
  std::string asan = "verify_asan_link_order=0";
  if (const char* current = getenv("ASAN_OPTIONS"); current && std::strstr(current, asan.c_str()))
    asan = current;
  else if (current && *current)
    asan = std::string(current) + ":" + asan;
  return {
      "UMOCKDEV_DIR=" + impl_->root,
      "LD_PRELOAD=libumockdev-preload.so.0",
      // umockdev's socket path lives under TMPDIR and must stay short.
      "TMPDIR=/tmp",
      "ASAN_OPTIONS=" + asan,
  };
}

Process Testbed::Spawn(const std::vector<std::string>& argv, const SpawnOptions& options) const {
  return SpawnProcess(argv, Environment(), options);
}

}  // namespace qv46sim
