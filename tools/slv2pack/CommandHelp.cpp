#include "CommandHelp.h"

#include <cstring>

namespace slv2::pack {
namespace {

struct Help {
  const char* name;
  const char* text;
};

constexpr Help kHelp[] = {
    {"make",
     "Makes the update storage that turns an installed OLD release into NEW. A release\n"
     "holds the folders product/ (installed into the product folder) and solvane/\n"
     "(the family shell folder). Everything is checked before any work: names\n"
     "Windows-1251 cannot hold, links (--follow-links copies what a link points to\n"
     "inside the release, never outside), FIFOs and devices, names ending in .diff or\n"
     ".patch, and files the updater would keep are listed at once, every one, and\n"
     "nothing is made. It warns when OLD and NEW share no file or NEW looks older\n"
     "(--strict refuses then) and exits 3 when they hold the same files. Changed\n"
     "files go as differences where smaller; names longer than 31 characters travel\n"
     "under short names through the storage's name map. --extra DIR adds registry/\n"
     "scripts and the ini files of the storage's root; its Delete_After.ini is merged\n"
     "with the computed deletions. --allow-kept ships files the updater would keep\n"
     "(listed as kept by the verification). The storage is verified (unless\n"
     "--no-verify) before it takes OUT's place; OUT must lie outside OLD and NEW."},
    {"verify",
     "Runs the updater on a scratch copy of OLD with the storage, as the product\n"
     "the storage's name gives (--product ID for another), and compares the result\n"
     "with NEW byte for byte. Every missing, extra or different file and every error\n"
     "line of the updater is listed; exit 0 only when the result equals NEW."},
    {"build",
     "Builds a storage from a folder tree as it is (--compress: zlib elements where smaller)."},
    {"list", "Lists the storages and streams of a storage with their sizes."},
    {"extract", "Extracts every stream of a storage below DIR (--raw: compressed as stored)."},
    {"cat", "Writes one stream of a storage to the standard output."},
    {"merge", "Copies every element of SRC into the compound file DEST, as the updater merges."},
    {"diff", "Writes the difference that turns the file OLD into NEW."},
    {"apply", "Applies a difference to OLD and writes the result to OUT."},
    {"version", "Prints a file's version as the updater compares it, or none."},
};

}  // namespace

const char* CommandHelp(const char* name) {
  for (const Help& help : kHelp) {
    if (std::strcmp(help.name, name) == 0) return help.text;
  }
  return nullptr;
}

}  // namespace slv2::pack
