// The records of the ini-driven operations: one text replacement per section
// of "StrReplace_Before.ini" / "StrReplace_After.ini", one unpacking per
// section of "UnpackStorage.ini", each kept with its section name in file
// order.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sys/PcreRegExp.h"

namespace slv2 {

struct TSlv2StrReplaceData {
  bool IsRegExp = false;
  std::string ReplaceWith;
  std::string SearchFor;
  std::string Files;
  // Compiled from SearchFor at first use, only for a regular expression.
  std::unique_ptr<TPcreRegExp> RegExp;
  bool IgnoreCase = false;

  TPcreRegExp& CompiledRegExp();
};

struct TSlv2UnpackStorageData {
  std::string Storage;
  std::string Destination;
};

template <class T>
using TSlv2SectionList = std::vector<std::pair<std::string, T>>;
using TSlv2StrReplaceList = TSlv2SectionList<TSlv2StrReplaceData>;
using TSlv2UnpackStorageList = TSlv2SectionList<TSlv2UnpackStorageData>;

// False for "", "False", "Ложь" and "0" (the Latin letters compared ignoring
// case), true for anything else.
bool ParseIniBool(std::string_view value);

}  // namespace slv2
