#include "HostileCorpus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "IsolatedRun.h"
#include "TestSupport.h"
#include "sys/StrUtil.h"

namespace slv2::test::hostile {

namespace {

namespace stdfs = std::filesystem;

// Generous for a sanitizer build on a busy machine; a parser that loops
// takes forever, not seconds.
constexpr std::chrono::milliseconds kTimeLimit{10000};
constexpr char kSeparator = '\x1e';

std::string Slurp(const stdfs::path& path) {
  std::string text;
  if (FILE* f = std::fopen(path.string().c_str(), "rb")) {
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
      text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

// A reason a user can read: some text, and no terminal controls that could
// repaint the console it is shown on.
// No control characters but the line break before the system's reason
// (an indented line of its own).
bool Readable(const std::string& message) {
  std::string text = ReplaceAll(message, "\r\n  ", " ", false);
  return !text.empty() && std::none_of(text.begin(), text.end(), [](char c) {
    auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t') || u == 0x7F;
  });
}

}  // namespace

std::vector<CorpusFile> Corpus(std::string_view parser) {
  std::vector<CorpusFile> files;
  std::string folder = TestDataPath("hostile/" + std::string(parser));
  for (const stdfs::directory_entry& entry : stdfs::directory_iterator(FsPath(folder))) {
    CorpusFile file;
    file.name = ProgramPath(entry.path().filename());
    file.path = folder + "/" + file.name;
    file.bytes = Slurp(entry.path());
    if (file.name.starts_with("bad-") || file.name.find("@bad-") != std::string::npos) {
      file.expect = Expect::kRejected;
    } else if (file.name.starts_with("ok-") || file.name.find("@ok-") != std::string::npos) {
      file.expect = Expect::kHandled;
    }
    files.push_back(std::move(file));
  }
  std::sort(files.begin(), files.end(),
            [](const CorpusFile& a, const CorpusFile& b) { return a.name < b.name; });
  EXPECT_GE(files.size(), 10u) << "hostile corpus of " << parser << " missing in " << folder;
  return files;
}

std::string EncodeVerdict(const Verdict& verdict) {
  return std::string(verdict.rejected ? "R" : "H") + verdict.message + kSeparator + verdict.details;
}

Verdict DecodeVerdict(std::string_view report) {
  Verdict verdict;
  if (report.empty()) return verdict;
  verdict.rejected = report[0] == 'R';
  size_t separator = report.find(kSeparator);
  verdict.message = std::string(report.substr(1, separator - 1));
  if (separator != std::string_view::npos) verdict.details = report.substr(separator + 1);
  return verdict;
}

bool RunHostile(const CorpusFile& file, const std::string& folder,
                const std::function<Verdict()>& work, Verdict* verdict) {
  IsolatedOutcome outcome = RunIsolated(folder, kTimeLimit, [&] { return EncodeVerdict(work()); });
  switch (outcome.kind) {
    case IsolatedOutcome::kTimedOut:
      ADD_FAILURE() << file.name << ": still running after " << kTimeLimit.count() << " ms";
      return false;
    case IsolatedOutcome::kCrashed:
      ADD_FAILURE() << file.name << ": crashed (" << outcome.how << ")";
      return false;
    case IsolatedOutcome::kFinished:
      break;
  }
  *verdict = DecodeVerdict(outcome.report);
  verdict->milliseconds = outcome.elapsed.count();
  return true;
}

void ExpectVerdict(const CorpusFile& file, const Verdict& verdict) {
  if (file.expect == Expect::kRejected) {
    EXPECT_TRUE(verdict.rejected) << file.name << " was not rejected:\n" << verdict.details;
  } else if (file.expect == Expect::kHandled) {
    EXPECT_FALSE(verdict.rejected) << file.name << " was rejected: " << verdict.message << "\n"
                                   << verdict.details;
  }
  if (verdict.rejected) {
    EXPECT_TRUE(Readable(verdict.message))
        << file.name << ": unclear reason \"" << verdict.message << "\"\n"
        << verdict.details;
  }
}

Snapshot TakeSnapshot(const std::string& root, const std::vector<std::string>& excluded) {
  Snapshot snapshot;
  std::vector<stdfs::path> skip;
  for (const std::string& e : excluded)
    skip.push_back(FsPath(e));
  std::error_code ec;
  stdfs::path base = FsPath(root);
  for (auto it = stdfs::recursive_directory_iterator(base, ec);
       !ec && it != stdfs::recursive_directory_iterator(); it.increment(ec)) {
    if (std::find(skip.begin(), skip.end(), it->path()) != skip.end()) {
      it.disable_recursion_pending();
      continue;
    }
    std::string key = it->path().lexically_relative(base).string();
    if (it->is_symlink()) {
      snapshot[key] = "link " + stdfs::read_symlink(it->path()).string();
    } else if (it->is_directory()) {
      snapshot[key] = "folder";
    } else {
      snapshot[key] = "file " + Slurp(it->path());
    }
  }
  if (ec) snapshot["<error>"] = ec.message();
  return snapshot;
}

std::string SnapshotDifference(const Snapshot& before, const Snapshot& after) {
  std::string difference;
  for (const auto& [path, what] : before) {
    auto found = after.find(path);
    if (found == after.end()) {
      difference += "removed " + path + "\n";
    } else if (found->second != what) {
      difference += "changed " + path + "\n";
    }
  }
  for (const auto& [path, what] : after) {
    if (!before.count(path)) difference += "added " + path + "\n";
  }
  return difference;
}

std::vector<std::string> ForeignPlacesPresent() {
  std::vector<std::string> present;
  for (const char* place :
       {"/etc/x", "/x", "/srv/x", "/evil.txt", "/etc/evil.txt", "/deep.txt", "/srv/evil.txt"}) {
    std::error_code ec;
    if (stdfs::symlink_status(place, ec).type() != stdfs::file_type::not_found) {
      present.push_back(place);
    }
  }
  return present;
}

void Tally::Add(const CorpusFile& file, const Verdict& verdict) {
  ++(verdict.rejected ? rejected_ : handled_);
  if (verdict.milliseconds > slowestMilliseconds_) {
    slowestMilliseconds_ = verdict.milliseconds;
    slowest_ = file.name;
  }
}

Tally::~Tally() {
  std::printf("hostile %s: %d files: %d rejected, %d handled; slowest %s (%lld ms)\n",
              parser_.c_str(), rejected_ + handled_, rejected_, handled_, slowest_.c_str(),
              slowestMilliseconds_);
  std::fflush(stdout);
}

}  // namespace slv2::test::hostile
