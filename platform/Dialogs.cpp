#include "platform/Dialogs.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QStringList>

#include "platform/QtBridge.h"
#include "platform/SysUtils.h"

namespace {

// "Text|*.txt;*.csv|All|*.*" as the window system's filters: "Text (*.txt *.csv)", "All (*.*)".
QStringList NameFilters(const AnsiString& filter) {
  QStringList parts = ToQ(filter).split(QLatin1Char('|'));
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    out << parts[i] + QLatin1String(" (") + patterns.trimmed() + QLatin1Char(')');
  }
  return out;
}

bool HasExtension(const AnsiString& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  return dot != AnsiString::npos && (slash == AnsiString::npos || dot > slash + 1);
}

}  // namespace

TOpenDialog::TOpenDialog(TComponent* owner) : TComponent(owner) {}

TFileDialogForm::TFileDialogForm(TComponent* owner, TOpenDialog* dialog) : TForm(owner), dialog_(dialog) {
  SetCaption(!dialog->Title.empty() ? dialog->Title : dynamic_cast<TSaveDialog*>(dialog) ? SJ("名前を付けて保存") : SJ("開く"));
  SetBorderStyle(bsDialog);
  SetBounds(0, 0, 360, 96);
  auto* label = new TLabel(this);
  label->SetParent(this);
  label->SetCaption(SJ("ファイル名"));
  label->SetBounds(12, 15, label->Width(), label->Height());
  FileNameEdit = new TEdit(this);
  FileNameEdit->SetParent(this);
  FileNameEdit->SetBounds(84, 12, 264, 21);
  FileNameEdit->SetText(dialog->FileName);
  OKButton = new TButton(this);
  OKButton->SetParent(this);
  OKButton->SetCaption("OK");
  OKButton->SetBounds(192, 56, 75, 25);
  OKButton->ModalResult = mrOk;
  OKButton->Default = true;
  CancelButton = new TButton(this);
  CancelButton->SetParent(this);
  CancelButton->SetCaption(SJ("キャンセル"));
  CancelButton->SetBounds(273, 56, 75, 25);
  CancelButton->ModalResult = mrCancel;
  CancelButton->Cancel = true;
  OnCloseQuery = [this](TObject*, bool& canClose) {
    if (ModalResult() != mrOk) return;
    const AnsiString file = ChosenFile();
    canClose = !file.empty() && (!(dialog_->Options & ofFileMustExist) || FileExists(file));
  };
}

AnsiString TFileDialogForm::ChosenFile() const {
  AnsiString name = FileNameEdit->Text();
  if (name.empty()) return name;
  if (name[0] != '/' && !dialog_->InitialDir.empty()) {
    AnsiString dir = dialog_->InitialDir;
    if (dir.back() != '/') dir += '/';
    name = dir + name;
  }
  if (!dialog_->DefaultExt.empty() && !HasExtension(name)) name += "." + dialog_->DefaultExt;
  return name;
}

bool TOpenDialog::Execute() {
  if (!HaveGuiApplication() || (Application && (Application->ModalHandler || Application->TestMode))) {
    TFileDialogForm form(Application, this);
    if (form.ShowModal() != mrOk) return false;
    FileName = form.ChosenFile();
    return !FileName.empty();
  }
  QFileDialog dlg;
  dlg.setOption(QFileDialog::DontUseNativeDialog);
  dlg.setOption(QFileDialog::HideNameFilterDetails);
  if (!(Options & ofOverwritePrompt)) dlg.setOption(QFileDialog::DontConfirmOverwrite);
  dlg.setWindowTitle(!Title.empty() ? ToQ(Title) : Saving() ? ToQ(SJ("名前を付けて保存")) : ToQ(SJ("開く")));
  dlg.setAcceptMode(Saving() ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dlg.setFileMode(Saving() ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  const QStringList filters = NameFilters(Filter);
  if (!filters.isEmpty()) {
    dlg.setNameFilters(filters);
    if (FilterIndex >= 1 && FilterIndex <= filters.size()) dlg.selectNameFilter(filters[FilterIndex - 1]);
  }
  if (!DefaultExt.empty()) dlg.setDefaultSuffix(ToQ(DefaultExt));
  const QString dir = InitialDir.empty() ? QDir::currentPath() : QFile::decodeName(QByteArray::fromStdString(InitialDir));
  dlg.setDirectory(dir);
  if (!FileName.empty()) dlg.selectFile(QFile::decodeName(QByteArray::fromStdString(FileName)));
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
  FileName = QFile::encodeName(dlg.selectedFiles().first()).toStdString();
  const qsizetype chosen = filters.indexOf(dlg.selectedNameFilter());
  if (chosen >= 0) FilterIndex = static_cast<int>(chosen) + 1;
  return true;
}
