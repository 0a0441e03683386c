// The terminal front end: memo lines as UTF-8, boxes with and without
// prompts.
#include <gtest/gtest.h>

#include <sstream>

#include "TestSupport.h"
#include "app/ConsoleUi.h"

namespace slv2 {
namespace {

using test::A;

struct Terminal {
  std::ostringstream out, err;
  std::istringstream in;
  explicit Terminal(const std::string& input = "") : in(input) {}
};

TEST(ConsoleUiTest, MemoLinesAreUtf8AndAnAppendCompletesTheLineInPlace) {
  Terminal t;
  {
    TConsoleUi ui(t.out, t.err, t.in, true);
    ui.AddLine("");
    ui.AddLine(A("Обновление продукта \"Тесты\"..."));
    ui.ProcessMessages();
    // Shown before its outcome is known.
    EXPECT_EQ(t.out.str(), "\nОбновление продукта \"Тесты\"...");
    ui.AppendToLastLine("OK");
    ui.AddLine("next");
  }
  EXPECT_EQ(t.out.str(), "\nОбновление продукта \"Тесты\"...OK\nnext\n");
}

// A box with Cancel asks at the terminal when prompts are on (the end of
// input cancels) and is cancelled when they are off; a box without Cancel is
// confirmed. Nothing past the answer is read.
TEST(ConsoleUiTest, BoxesAreAnsweredAtTheTerminal) {
  const TBoxId ask = TBoxId::ShellRunning, inform = TBoxId::UpdateFinished;
  const TBoxAnswer ok = TBoxAnswer::Ok, cancel = TBoxAnswer::Cancel;
  struct Case {
    bool prompts;
    TBoxId id;
    const char* input;
    TBoxAnswer answer;
    const char* left;
  } cases[] = {{true, ask, "\nx", ok, "x"},        {true, ask, " OK \n", ok, ""},
               {true, ask, "o\n", ok, ""},         {true, ask, "Cancel\n", cancel, ""},
               {true, ask, "c\n", cancel, ""},     {true, ask, "maybe\nc\nx", cancel, "x"},
               {true, ask, "", cancel, ""},        {true, ask, "maybe\n", cancel, ""},
               {false, ask, "ok\n", cancel, "ok"}, {true, inform, "c\n", ok, "c"}};
  for (const Case& c : cases) {
    Terminal t(c.input);
    TConsoleUi ui(t.out, t.err, t.in, c.prompts);
    const TMessageBox& box = MessageBoxOf(c.id);
    EXPECT_EQ(ui.ShowMessageBox(box), c.answer) << '"' << c.input << '"';
    std::string left;
    std::getline(t.in, left);
    EXPECT_EQ(left, c.left) << '"' << c.input << '"';
    EXPECT_EQ(t.err.str().rfind(std::string("\n[") + BoxCaption(box.kind) + "]\n", 0), 0u);
  }
}

}  // namespace
}  // namespace slv2
