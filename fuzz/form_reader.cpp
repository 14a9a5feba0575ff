// The stored-form reader on arbitrary text: it must give a tree or an
// EFormError, never crash or recurse without bound; and a tree it gives must
// write, read back to the same tree, and write again to the same text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "kwinet/storage/FormText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kwinet::TFormObject tree;
  try {
    tree = kwinet::ReadFormText(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const kwinet::EFormError&) {
    return 0;
  }
  const std::string text = kwinet::WriteFormText(tree);
  const kwinet::TFormObject again = kwinet::ReadFormText(text);
  if (!(again == tree)) __builtin_trap();
  if (kwinet::WriteFormText(again) != text) __builtin_trap();
  return 0;
}
