#include "app/MainWindowDesign.h"

#include "sys/Cp1251.h"

namespace slv2::design {

const std::string& ApplicationTitle() {
  static const std::string text = Utf8ToAnsi("Обновление программ Zarvik:Solvane 2.х");
  return text;
}

const std::string& LogLabelCaption() {
  static const std::string text = Utf8ToAnsi("Протокол работы программы:");
  return text;
}

const std::string& RunButtonCaption() {
  static const std::string text = Utf8ToAnsi("&Выполнить обновление");
  return text;
}

const std::string& CloseButtonCaption() {
  static const std::string text = Utf8ToAnsi("&Закрыть");
  return text;
}

}  // namespace slv2::design
