#include "app/ConsoleUi.h"

#include <istream>
#include <ostream>

#include "sys/Cp1251.h"

namespace slv2 {

namespace {

// Box texts break lines with a lone carriage return; the terminal wants "\n".
std::string TerminalText(const std::string& text) {
  std::string utf8 = AnsiToUtf8(text);
  for (char& c : utf8) {
    if (c == '\r') c = '\n';
  }
  return utf8;
}

std::string Trimmed(const std::string& line) {
  size_t begin = line.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return std::string();
  size_t end = line.find_last_not_of(" \t\r");
  std::string word = line.substr(begin, end - begin + 1);
  for (char& c : word) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return word;
}

}  // namespace

TConsoleUi::TConsoleUi(std::ostream& out, std::ostream& err, std::istream& in, bool prompts)
    : FOut(out), FErr(err), FIn(in), FPrompts(prompts) {}

TConsoleUi::~TConsoleUi() {
  EndLine();
}

void TConsoleUi::AddLine(const std::string& text) {
  EndLine();
  FOut << AnsiToUtf8(text);
  FLineOpen = true;
}

void TConsoleUi::AppendToLastLine(const std::string& text) {
  FOut << AnsiToUtf8(text);
  FLineOpen = true;
}

TBoxAnswer TConsoleUi::ShowMessageBox(const TMessageBox& box) {
  EndLine();
  FErr << "\n[" << BoxCaption(box.kind) << "]\n" << TerminalText(box.text) << "\n";
  TBoxAnswer answer = !box.hasCancel ? TBoxAnswer::Ok : FPrompts ? Ask() : TBoxAnswer::Cancel;
  FErr << "-> " << (answer == TBoxAnswer::Ok ? "OK" : "Cancel") << "\n\n";
  FErr.flush();
  return answer;
}

TBoxAnswer TConsoleUi::Ask() {
  for (;;) {
    FErr << "OK or Cancel? [OK/cancel] ";
    FErr.flush();
    std::string line;
    if (!std::getline(FIn, line)) {
      FErr << "\n";
      return TBoxAnswer::Cancel;
    }
    std::string word = Trimmed(line);
    if (word.empty() || word == "o" || word == "ok") return TBoxAnswer::Ok;
    if (word == "c" || word == "cancel") return TBoxAnswer::Cancel;
  }
}

void TConsoleUi::ShowError(const std::string& message) {
  EndLine();
  FErr << "\n[Error]\n" << TerminalText(message) << "\n\n";
  FErr.flush();
}

void TConsoleUi::ProcessMessages() {
  FOut.flush();
}

void TConsoleUi::EndLine() {
  if (!FLineOpen) return;
  FOut << "\n";
  FOut.flush();
  FLineOpen = false;
}

}  // namespace slv2
