#include "app/MessageBoxes.h"

#include "sys/Cp1251.h"

namespace slv2 {

namespace {

// The texts are written in UTF-8 here and held as program text.
TMessageBox Make(TBoxId id, TBoxKind kind, bool hasCancel, const char* utf8) {
  return TMessageBox{id, kind, hasCancel, Utf8ToAnsi(utf8)};
}

}  // namespace

const TMessageBox& MessageBoxOf(TBoxId id) {
  static const TMessageBox adminRights =
      Make(TBoxId::AdminRights, TBoxKind::Warning, false,
           "Для выполнения программы обновления под управлением операционных систем Microsoft "
           "Windows NT/2000/XP пользователю необходимо обладать административными правами.\r"
           " \r"
           "Программа обновления не может продолжать работу и будет закрыта.");
  static const TMessageBox updateFinished =
      Make(TBoxId::UpdateFinished, TBoxKind::Information, false,
           "Процедура обновления завершена.\r"
           "Обратите внимание:\r"
           "В случае последующей установки других продуктов серии Zarvik:Solvane следует вновь "
           "произвести процедуру обновления.");
  static const TMessageBox nothingToUpdate =
      Make(TBoxId::NothingToUpdate, TBoxKind::Information, false,
           "У Вас не установлен ни один продукт, подлежащий обновлению с помощью данного пакета.\r"
           " \r"
           "Программа обновления будет закрыта.");
  static const TMessageBox shellRunning =
      Make(TBoxId::ShellRunning, TBoxKind::Warning, true,
           "В настоящий момент программа \"Zarvik:Solvane 2.х\" выполняется,\r"
           "из-за чего осуществить обновление невозможно.\r"
           "Пожалуйста, закройте программу \"Zarvik:Solvane 2.х\" и нажмите кнопку \"ОК\". Если Вы "
           "предпочитаете осуществить обновление позднее, нажмите кнопку \"Отмена\".");
  static const TMessageBox alreadyRunning =
      Make(TBoxId::AlreadyRunning, TBoxKind::Warning, false,
           "Обновление уже выполняется на этом компьютере. Дождитесь его завершения.\r"
           " \r"
           "Программа обновления будет закрыта.");
  switch (id) {
    case TBoxId::AdminRights:
      return adminRights;
    case TBoxId::UpdateFinished:
      return updateFinished;
    case TBoxId::NothingToUpdate:
      return nothingToUpdate;
    case TBoxId::AlreadyRunning:
      return alreadyRunning;
    case TBoxId::ShellRunning:
      break;
  }
  return shellRunning;
}

const char* BoxCaption(TBoxKind kind) {
  return kind == TBoxKind::Warning ? "Warning" : "Information";
}

}  // namespace slv2
