#include "platform/Dialogs.h"

#include <QColorDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontDialog>
#include <QStringList>

#include "platform/QtBridge.h"
#include "platform/SysUtils.h"

namespace {

TColor FromQColor(const QColor& c) { return static_cast<TColor>(c.red() | (c.green() << 8) | (c.blue() << 16)); }

}  // namespace

void AddOkCancelButtons(TForm* form) {
  auto* ok = new TButton(form);
  ok->SetParent(form);
  ok->SetCaption("OK");
  ok->ModalResult = mrOk;
  ok->Default = true;
  ok->SetBounds(form->Width() - 168, form->Height() - 33, 75, 25);
  auto* cancel = new TButton(form);
  cancel->SetParent(form);
  cancel->SetCaption(SJ("キャンセル"));
  cancel->ModalResult = mrCancel;
  cancel->Cancel = true;
  cancel->SetBounds(form->Width() - 85, form->Height() - 33, 75, 25);
}

// The window system's colour chooser, embedded in the form without its own buttons.
class ColorPicker : public TWinControl {
 public:
  explicit ColorPicker(TColorDialogForm* form) : TWinControl(form), form_(form) {}
  void Refresh() { UpdateWidget(); }

 protected:
  QWidget* CreateWidget(QWidget* parent) override {
    auto* d = new QColorDialog(parent);
    d->setWindowFlags(Qt::Widget);
    d->setOptions(QColorDialog::NoButtons | QColorDialog::DontUseNativeDialog);
    QObject::connect(d, &QColorDialog::currentColorChanged, [this](const QColor& c) {
      if (!syncing_) form_->selected_ = FromQColor(c);
    });
    return d;
  }
  void SyncWidget() override {
    TWinControl::SyncWidget();
    syncing_ = true;
    static_cast<QColorDialog*>(widget_)->setCurrentColor(ToQColor(form_->selected_));
    syncing_ = false;
  }

 private:
  TColorDialogForm* form_;
  bool syncing_ = false;
};

// The window system's font chooser, embedded in the form without its own buttons. Sizes are in
// points at 96 dots per inch.
class FontPicker : public TWinControl {
 public:
  explicit FontPicker(TFontDialogForm* form) : TWinControl(form), form_(form) {}
  void Refresh() { UpdateWidget(); }

 protected:
  QWidget* CreateWidget(QWidget* parent) override {
    auto* d = new QFontDialog(parent);
    d->setWindowFlags(Qt::Widget);
    d->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    QObject::connect(d, &QFontDialog::currentFontChanged, [this](const QFont& f) {
      if (syncing_) return;
      form_->picking_ = true;
      TFont& t = form_->selected_;
      const std::string family = f.family().toStdString();
      if (family != t.DisplayFamily()) t.SetName(Utf8ToSjis(family));
      if (f.pointSize() > 0) t.SetSize(f.pointSize());
      t.SetStyle((f.bold() ? fsBold : 0) | (f.italic() ? fsItalic : 0) | (f.underline() ? fsUnderline : 0) |
                 (f.strikeOut() ? fsStrikeOut : 0));
      form_->picking_ = false;
    });
    return d;
  }
  void SyncWidget() override {
    TWinControl::SyncWidget();
    syncing_ = true;
    QFont q = ToQFont(form_->selected_);
    q.setFamily(QString::fromStdString(form_->selected_.DisplayFamily()));
    q.setPointSize(form_->selected_.Size());
    static_cast<QFontDialog*>(widget_)->setCurrentFont(q);
    syncing_ = false;
  }

 private:
  TFontDialogForm* form_;
  bool syncing_ = false;
};

// ---- TColorDialogForm ----

TColorDialogForm::TColorDialogForm(TComponent* owner) : TForm(owner) {
  SetCaption(SJ("色の設定"));
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetBounds(0, 0, 540, 420);
  picker_ = new ColorPicker(this);
  picker_->SetParent(this);
  picker_->SetBounds(8, 8, 524, 364);
  AddOkCancelButtons(this);
}

void TColorDialogForm::SetSelectedColor(TColor c) {
  const uint32_t rgb = ColorToRGB(c);
  selected_ = static_cast<TColor>(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
  picker_->Refresh();
}

bool TColorDialog::Execute() {
  TColorDialogForm form(nullptr);
  form.SetSelectedColor(Color);
  if (form.ShowModal() != mrOk) return false;
  Color = form.SelectedColor();
  return true;
}

// ---- TFontDialogForm ----

TFontDialogForm::TFontDialogForm(TComponent* owner) : TForm(owner) {
  SetCaption(SJ("フォントの設定"));
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetBounds(0, 0, 500, 420);
  picker_ = new FontPicker(this);
  picker_->SetParent(this);
  picker_->SetBounds(8, 8, 484, 364);
  AddOkCancelButtons(this);
  selected_.OnChange = [this] {
    if (!picking_) picker_->Refresh();
  };
}

TFontDialogForm::~TFontDialogForm() { selected_.OnChange = nullptr; }

bool TFontDialog::Execute() {
  TFontDialogForm form(nullptr);
  form.SelectedFont()->Assign(font_);
  if (form.ShowModal() != mrOk) return false;
  font_.Assign(*form.SelectedFont());
  return true;
}

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
