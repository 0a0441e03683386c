// The hostile input corpus of tests/data/hostile (written by make_corpus.py)
// and what every file of it must come to: run isolated under a time limit,
// no crash, a verdict that meets the file's expectation, a rejection that
// says why, and no change outside the folders its parser may act on.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace slv2::test::hostile {

// "bad-*" files must be rejected, "ok-*" handled; the others (truncations,
// flipped bytes) may be either.
enum class Expect { kRejected, kHandled, kEither };

struct CorpusFile {
  std::string name;  // the file name
  std::string path;  // program-string path
  std::string bytes;
  Expect expect = Expect::kEither;
};

// The files of tests/data/hostile/<parser>, sorted by name.
std::vector<CorpusFile> Corpus(std::string_view parser);

// What the code under test made of one file.
struct Verdict {
  bool rejected = false;
  std::string message;         // why it was rejected, or what it warned of
  std::string details;         // everything it said, for failure messages
  long long milliseconds = 0;  // the time the isolated run took
};
std::string EncodeVerdict(const Verdict& verdict);
Verdict DecodeVerdict(std::string_view report);

// Runs `work` for the file in `folder`, isolated under the time limit; false
// (and a test failure naming the file) for a crash or a hang.
bool RunHostile(const CorpusFile& file, const std::string& folder,
                const std::function<Verdict()>& work, Verdict* verdict);

// Fails the test when the verdict misses the file's expectation, or when a
// rejection gives no readable reason.
void ExpectVerdict(const CorpusFile& file, const Verdict& verdict);

// Every entry below `root` (type and content), except the excluded subtrees.
using Snapshot = std::map<std::string, std::string>;
Snapshot TakeSnapshot(const std::string& root, const std::vector<std::string>& excluded = {});
// The entries added, removed or changed, one a line; empty when none.
std::string SnapshotDifference(const Snapshot& before, const Snapshot& after);

// Which of the absolute places hostile names aim at ("/etc/x", "/evil.txt",
// ...) exist: a run of the corpus must never add one.
std::vector<std::string> ForeignPlacesPresent();

// Counts of one parser's run, printed when the test ends.
class Tally {
 public:
  explicit Tally(std::string parser) : parser_(std::move(parser)) {}
  ~Tally();
  void Add(const CorpusFile& file, const Verdict& verdict);

 private:
  std::string parser_;
  int rejected_ = 0;
  int handled_ = 0;
  std::string slowest_;
  long long slowestMilliseconds_ = -1;
};

}  // namespace slv2::test::hostile
