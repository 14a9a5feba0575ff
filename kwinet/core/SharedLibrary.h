// Opening a shared library at run time and finding its functions, for the
// large libraries that many programs (and most commands of the tool) never
// need: they are loaded on first use instead of at process start.
#pragma once

#include <dlfcn.h>

#include <string>

namespace kwinet {

// Opens the library SoName; nullptr, with the reason in Error, when it
// cannot be loaded.
inline void* OpenSharedLibrary(const char* SoName, std::string& Error) {
  void* library = ::dlopen(SoName, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* why = ::dlerror();
    Error = why ? why : SoName;
  }
  return library;
}

// Sets Function to the function Name of Library (opened as SoName); false,
// with the reason in Error, when the library has no such function.
template <typename Fn>
bool FindSharedFunction(void* Library, const char* SoName, const char* Name, Fn& Function, std::string& Error) {
  Function = reinterpret_cast<Fn>(::dlsym(Library, Name));
  if (!Function) Error = std::string("no ") + Name + " in " + SoName;
  return Function != nullptr;
}

}  // namespace kwinet
