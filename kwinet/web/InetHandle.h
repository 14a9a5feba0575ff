/// @file
/// Handles of the transfer layer. HINTERNET is an opaque value: the slot of
/// the handle in the layer's table and the generation of that slot, so a
/// handle that has been closed stays refused even once its slot serves a
/// new handle. TInternetHandle owns one and closes it when it goes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kwinet {

/// The value of a handle: its slot and the slot's generation; 0 is no handle.
class TInetHandleId {
 public:
  constexpr TInetHandleId() noexcept = default;
  /// No handle.
  constexpr TInetHandleId(std::nullptr_t) noexcept {}

  /// The handle with this value.
  static constexpr TInetHandleId FromValue(std::uint64_t Value) noexcept {
    TInetHandleId id;
    id.FValue = Value;
    return id;
  }
  /// The value, 0 for no handle.
  constexpr std::uint64_t Value() const noexcept { return FValue; }
  /// Whether this is a handle.
  explicit constexpr operator bool() const noexcept { return FValue != 0; }
  /// The same handle.
  friend constexpr bool operator==(TInetHandleId, TInetHandleId) noexcept = default;

 private:
  std::uint64_t FValue = 0;
};

/// A handle of the transfer layer.
using HINTERNET = TInetHandleId;

/// Owns a handle: closes it (and so everything under it) when destroyed,
/// reset or given another one. It stands wherever a HINTERNET does.
class TInternetHandle {
 public:
  TInternetHandle() noexcept = default;
  /// Takes Handle over.
  TInternetHandle(HINTERNET Handle) noexcept : FHandle(Handle) {}
  ~TInternetHandle() { Reset(); }
  TInternetHandle(const TInternetHandle&) = delete;
  TInternetHandle& operator=(const TInternetHandle&) = delete;
  ///@{
  /// Takes Other's handle over; the handle held before is closed.
  TInternetHandle(TInternetHandle&& Other) noexcept : FHandle(Other.Release()) {}
  TInternetHandle& operator=(TInternetHandle&& Other) noexcept {
    if (this != &Other) Reset(Other.Release());
    return *this;
  }
  ///@}
  /// Closes the handle held and takes Handle over.
  TInternetHandle& operator=(HINTERNET Handle) noexcept {
    Reset(Handle);
    return *this;
  }

  /// Closes the handle held (if any) and holds Handle instead.
  void Reset(HINTERNET Handle = nullptr) noexcept;
  /// Gives the handle up without closing it.
  HINTERNET Release() noexcept {
    HINTERNET h = FHandle;
    FHandle = nullptr;
    return h;
  }
  ///@{
  /// The handle held, still owned.
  HINTERNET Get() const noexcept { return FHandle; }
  operator HINTERNET() const noexcept { return FHandle; }
  ///@}
  /// Whether a handle is held.
  explicit operator bool() const noexcept { return static_cast<bool>(FHandle); }
  /// Whether no handle is held.
  friend bool operator==(const TInternetHandle& A, std::nullptr_t) noexcept { return !A.FHandle; }

 private:
  HINTERNET FHandle;
};

}  // namespace kwinet
