// Pool of libcurl easy handles with per-origin in-use counts.
#include "platform/linux/CurlHandlePool.h"

#include <algorithm>
#include <iterator>
#include <new>
#include <stdexcept>
#include <utility>

namespace kelvo::platform::curl {

void EnsureCurlGlobalInit() {
  // A function-local static is initialised exactly once, also when several
  // threads arrive at the same time.
  static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
  if (result != CURLE_OK) {
    throw std::runtime_error(std::string("HTTP transport: libcurl initialisation failed: ") +
                             curl_easy_strerror(result));
  }
}

CurlSharedCaches::CurlSharedCaches() : share_(curl_share_init()) {
  if (share_ == nullptr) throw std::bad_alloc();
  curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &CurlSharedCaches::Lock);
  curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &CurlSharedCaches::Unlock);
  curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
  curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
  curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
}

CurlSharedCaches::~CurlSharedCaches() { curl_share_cleanup(share_); }

void CurlSharedCaches::Attach(CURL* handle) const { curl_easy_setopt(handle, CURLOPT_SHARE, share_); }

void CurlSharedCaches::Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
  auto* caches = static_cast<CurlSharedCaches*>(self);
  if (const auto index = static_cast<std::size_t>(data); index < caches->mutexes_.size()) {
    caches->mutexes_[index].lock();
  }
}

void CurlSharedCaches::Unlock(CURL*, curl_lock_data data, void* self) {
  auto* caches = static_cast<CurlSharedCaches*>(self);
  if (const auto index = static_cast<std::size_t>(data); index < caches->mutexes_.size()) {
    caches->mutexes_[index].unlock();
  }
}

CurlHandlePool::CurlHandlePool(bool keepHandles) : keepHandles_(keepHandles) {
  EnsureCurlGlobalInit();
  if (keepHandles_) caches_ = std::make_unique<CurlSharedCaches>();
}

CurlHandlePool::~CurlHandlePool() {
  // Handles go before the caches they are attached to.
  origins_.clear();
}

CurlHandlePool::Lease::Lease(CurlHandlePool* pool, std::string origin, EasyHandle handle)
    : pool_(pool), origin_(std::move(origin)), handle_(std::move(handle)) {}

CurlHandlePool::Lease::Lease(Lease&& other) noexcept
    : pool_(std::exchange(other.pool_, nullptr)),
      origin_(std::move(other.origin_)),
      handle_(std::move(other.handle_)) {}

CurlHandlePool::Lease::~Lease() {
  if (pool_ != nullptr) pool_->Return(origin_, std::move(handle_));
}

EasyHandle CurlHandlePool::NewHandle() const {
  EasyHandle handle(curl_easy_init());
  if (handle && caches_) caches_->Attach(handle.get());
  return handle;
}

std::optional<CurlHandlePool::Lease> CurlHandlePool::Acquire(
    const std::string& origin, long limit,
    std::optional<std::chrono::steady_clock::time_point> deadline, AcquireError& error) {
  if (limit < 1) limit = 1;
  EasyHandle handle;
  {
    std::unique_lock lock(mutex_);
    OriginState& state = origins_[origin];
    const auto hasSlot = [&] { return state.inUse < limit; };
    ++state.waiters;  // keeps the entry (and the reference) alive while waiting
    const bool gotSlot =
        deadline ? slotFreed_.wait_until(lock, *deadline, hasSlot) : (slotFreed_.wait(lock, hasSlot), true);
    --state.waiters;
    if (!gotSlot) {
      if (state.inUse == 0 && state.idle.empty() && state.waiters == 0) origins_.erase(origin);
      error = AcquireError::NoSlotInTime;
      return std::nullopt;
    }
    ++state.inUse;
    if (!state.idle.empty()) {
      handle = std::move(state.idle.back().handle);
      state.idle.pop_back();
    }
  }
  if (!handle) handle = NewHandle();
  if (!handle) {
    Return(origin, nullptr);
    error = AcquireError::OutOfMemory;
    return std::nullopt;
  }
  return Lease(this, origin, std::move(handle));
}

void CurlHandlePool::Return(const std::string& origin, EasyHandle handle) noexcept {
  std::vector<EasyHandle> dropped;  // cleaned up after the lock is released
  try {
    std::lock_guard lock(mutex_);
    auto it = origins_.find(origin);
    if (it == origins_.end()) return;  // cannot happen: the lease counted itself in
    OriginState& state = it->second;
    --state.inUse;
    const auto now = Clock::now();
    if (keepHandles_ && handle && state.idle.size() < kMaxIdleHandlesPerOrigin) {
      state.idle.push_back(IdleHandle{std::move(handle), now});
    }
    if (state.inUse == 0 && state.idle.empty() && state.waiters == 0) origins_.erase(it);
    if (now - lastSweep_ >= std::chrono::seconds(1)) {
      lastSweep_ = now;
      SweepIdle(now, dropped);
    }
  } catch (...) {
    // Out of memory while keeping the handle: it is dropped below instead.
  }
  slotFreed_.notify_all();
}

void CurlHandlePool::CloseIdleHandles() noexcept {
  std::vector<EasyHandle> dropped;  // cleaned up after the lock is released
  try {
    std::lock_guard lock(mutex_);
    for (auto it = origins_.begin(); it != origins_.end();) {
      for (IdleHandle& entry : it->second.idle) dropped.push_back(std::move(entry.handle));
      it->second.idle.clear();
      const bool unused = it->second.inUse == 0 && it->second.waiters == 0;
      it = unused ? origins_.erase(it) : std::next(it);
    }
  } catch (...) {
    // Out of memory while collecting: what was collected is still dropped.
  }
}

void CurlHandlePool::SweepIdle(Clock::time_point now, std::vector<EasyHandle>& dropped) {
  for (auto it = origins_.begin(); it != origins_.end();) {
    auto& idle = it->second.idle;
    // Oldest first: the stale ones form a prefix.
    auto fresh = std::find_if(idle.begin(), idle.end(),
                              [&](const IdleHandle& entry) { return now - entry.since < kMaxIdleTime; });
    for (auto stale = idle.begin(); stale != fresh; ++stale) dropped.push_back(std::move(stale->handle));
    idle.erase(idle.begin(), fresh);
    const bool unused = it->second.inUse == 0 && idle.empty() && it->second.waiters == 0;
    it = unused ? origins_.erase(it) : std::next(it);
  }
}

}  // namespace kelvo::platform::curl
