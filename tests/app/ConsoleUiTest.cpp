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
  EXPECT_EQ(t.err.str(), "");
}

TEST(ConsoleUiTest, PromptsReadOkOrCancelAndTheEndOfInputCancels) {
  const TMessageBox& box = MessageBoxOf(TBoxId::ShellRunning);
  struct Case {
    const char* input;
    TBoxAnswer answer;
  } cases[] = {{"\n", TBoxAnswer::Ok},      {" OK \n", TBoxAnswer::Ok},
               {"o\n", TBoxAnswer::Ok},     {"Cancel\n", TBoxAnswer::Cancel},
               {"c\n", TBoxAnswer::Cancel}, {"maybe\nc\n", TBoxAnswer::Cancel},
               {"", TBoxAnswer::Cancel},    {"maybe\n", TBoxAnswer::Cancel}};
  for (const Case& c : cases) {
    Terminal t(c.input);
    TConsoleUi ui(t.out, t.err, t.in, true);
    EXPECT_EQ(ui.ShowMessageBox(box), c.answer) << '"' << c.input << '"';
    EXPECT_NE(t.err.str().find("OK or Cancel?"), std::string::npos);
  }
}

TEST(ConsoleUiTest, WithoutPromptsInformationIsConfirmedAndTheShellBoxCancelled) {
  Terminal t("ok\n");
  TConsoleUi ui(t.out, t.err, t.in, false);
  EXPECT_EQ(ui.ShowMessageBox(MessageBoxOf(TBoxId::UpdateFinished)), TBoxAnswer::Ok);
  EXPECT_EQ(ui.ShowMessageBox(MessageBoxOf(TBoxId::ShellRunning)), TBoxAnswer::Cancel);
  EXPECT_EQ(t.err.str().find("OK or Cancel?"), std::string::npos);
  EXPECT_NE(t.err.str().find("[Warning]\nВ настоящий момент"), std::string::npos);
  std::string rest;
  std::getline(t.in, rest);
  EXPECT_EQ(rest, "ok");  // nothing was read
}

}  // namespace
}  // namespace slv2
