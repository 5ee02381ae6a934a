#pragma once
// libcurl easy handles kept for reuse. Each handle keeps its own live
// connections, so handing the most recently used handle of an origin to the
// next request to that origin reuses its kept-alive connection (and TLS
// session) instead of opening a new one. Handles in use are counted per
// origin to enforce the per-host connection limit. The pool's lock is held
// only to take or return a handle, never across a network exchange.
#include <curl/curl.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace kelvo::platform::curl {

// Initialises libcurl once per process; safe under concurrent first calls.
// libcurl is never cleaned up: the process may still be posting on other
// threads when static objects are destroyed.
void EnsureCurlGlobalInit();

struct EasyHandleCleanup {
  void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyHandleCleanup>;

// The DNS cache and the TLS session cache, shared by all handles of a pool
// under libcurl's lock callbacks. The connection cache is deliberately not
// shared: libcurl does not support sharing it between threads that run
// transfers at the same time; the pooled handles keep connections instead.
class CurlSharedCaches {
 public:
  CurlSharedCaches();
  ~CurlSharedCaches();
  CurlSharedCaches(const CurlSharedCaches&) = delete;
  CurlSharedCaches& operator=(const CurlSharedCaches&) = delete;

  // Makes handle use the shared caches (once, when the handle is created).
  void Attach(CURL* handle) const;

 private:
  static void Lock(CURL* handle, curl_lock_data data, curl_lock_access access, void* self);
  static void Unlock(CURL* handle, curl_lock_data data, void* self);

  std::array<std::mutex, CURL_LOCK_DATA_LAST> mutexes_;
  CURLSH* share_ = nullptr;
};

class CurlHandlePool {
 public:
  // keepHandles false: every request gets a fresh handle that is dropped
  // afterwards, and nothing is shared (used to measure what reuse saves).
  explicit CurlHandlePool(bool keepHandles);
  ~CurlHandlePool();
  CurlHandlePool(const CurlHandlePool&) = delete;
  CurlHandlePool& operator=(const CurlHandlePool&) = delete;

  // A handle in use for one request to one origin; returned to the pool (and
  // its slot freed) when the lease ends.
  class Lease {
   public:
    Lease(Lease&& other) noexcept;
    Lease& operator=(Lease&&) = delete;
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease();

    CURL* Handle() const { return handle_.get(); }

   private:
    friend class CurlHandlePool;
    Lease(CurlHandlePool* pool, std::string origin, EasyHandle handle);

    CurlHandlePool* pool_;
    std::string origin_;
    EasyHandle handle_;
  };

  enum class AcquireError { NoSlotInTime, OutOfMemory };

  // Waits until fewer than limit handles of origin are in use (at most until
  // deadline, when one is given), then hands out its most recently returned
  // handle or a new one.
  std::optional<Lease> Acquire(const std::string& origin, long limit,
                               std::optional<std::chrono::steady_clock::time_point> deadline,
                               AcquireError& error);

  // Drops every idle handle with its kept-alive connection. Handles in use
  // stay with their requests and come back as usual.
  void CloseIdleHandles() noexcept;

 private:
  // How many idle handles (each with its kept-alive connection) an origin
  // keeps at most; more come and go with bursts of parallel requests.
  static constexpr std::size_t kMaxIdleHandlesPerOrigin = 64;

  // An idle handle older than this is dropped with its connection: libcurl
  // would not reuse a connection idle this long anyway (its maximum idle age
  // is 118 s), and origins no longer called should not hold sockets for ever.
  static constexpr std::chrono::seconds kMaxIdleTime{120};

  using Clock = std::chrono::steady_clock;
  struct IdleHandle {
    EasyHandle handle;
    Clock::time_point since;
  };
  struct OriginState {
    long inUse = 0;
    long waiters = 0;              // callers waiting for a free slot
    std::vector<IdleHandle> idle;  // most recently returned last
  };

  void Return(const std::string& origin, EasyHandle handle) noexcept;
  // Moves handles idle for too long into dropped and forgets unused origins;
  // called with the lock held, at most once a second.
  void SweepIdle(Clock::time_point now, std::vector<EasyHandle>& dropped);
  EasyHandle NewHandle() const;

  const bool keepHandles_;
  // Declared before the handles so that it outlives every one attached to it.
  std::unique_ptr<CurlSharedCaches> caches_;
  std::mutex mutex_;
  std::condition_variable slotFreed_;
  std::unordered_map<std::string, OriginState> origins_;
  Clock::time_point lastSweep_{};
};

}  // namespace kelvo::platform::curl
