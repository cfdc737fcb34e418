// The windows the screenshots program renders. Each builds its window as a user would see it,
// shows it, and saves what the screen shows into file (PNG); false when it could not.
#pragma once

#include <functional>
#include <string>

class TForm;
class TFormMain;

// The form as the window system shows it now, saved as a PNG file.
bool SaveFormPicture(TForm* form, const std::string& file);
// The main window started on a work folder made in dir (a customer ledger and an access log) at
// 1280 x 800, brought into the state to show by prepare, and saved; false when prepare found
// nothing to show.
bool ShotStartedWindow(const std::string& dir, const std::string& file, const std::function<bool(TFormMain*)>& prepare);

bool ShotFlowBox(const std::string& file);
bool ShotCardBox(const std::string& file);
bool ShotFolExpandDlg(const std::string& file);
bool ShotCmdYesNoDlg(const std::string& file);
bool ShotCmdYesNoDlgEnded(const std::string& file);
bool ShotMainWindow(const std::string& file);
bool ShotMainTreeEnum(const std::string& file);
bool ShotMainWindowListing(const std::string& file);
bool ShotMainWindowSummary(const std::string& file);
bool ShotMainWindowRatio(const std::string& file);
bool ShotAboutBox(const std::string& file);
bool ShotListGrid(const std::string& file);
bool ShotListGridFrozen(const std::string& file);
bool ShotLooksTree(const std::string& file);
bool ShotLooksList(const std::string& file);
bool ShotColorDialog(const std::string& file);
bool ShotFontDialog(const std::string& file);
bool ShotPreviewList(const std::string& file);
bool ShotPreviewCardsLandscape(const std::string& file);
bool ShotPrintListPdf(const std::string& file);
bool ShotPrintDialog(const std::string& file);
bool ShotPrinterSetupDialog(const std::string& file);
bool ShotTableDialog(const std::string& file);
bool ShotTableDialogNew(const std::string& file);
bool ShotTableDialogValues(const std::string& file);
bool ShotTableDialogRelations(const std::string& file);
bool ShotTopFolderDialog(const std::string& file);
bool ShotCondDialog(const std::string& file);
bool ShotFolderHeadingDlg(const std::string& file);
bool ShotFolderConditionDlg(const std::string& file);
bool ShotFolderCommandPage(const std::string& file);
bool ShotFolderEnumCreateDlg(const std::string& file);
bool ShotFolderEnumEditDlg(const std::string& file);
bool ShotCapEditDlg(const std::string& file);
bool ShotCapEditOtherTables(const std::string& file);
bool ShotReadCsvDlg(const std::string& file);
bool ShotEditDialogCandidates(const std::string& file);
bool ShotCsvWriteDlg(const std::string& file);
bool ShotGetListDlg(const std::string& file);
bool ShotKensaDlg(const std::string& file);
bool ShotKensaEdit(const std::string& file);
bool ShotDetailGrid(const std::string& file);
bool ShotDetailCapDlg(const std::string& file);
bool ShotCardControls(const std::string& file);
bool ShotDesignSurface(const std::string& file);
bool ShotLayoutDesigner(const std::string& file);
bool ShotCardFieldDialog(const std::string& file);
bool ShotDataChkDlg(const std::string& file);
bool ShotGraphBars(const std::string& file);
bool ShotGraphPie(const std::string& file);
bool ShotChartEditDlg(const std::string& file);
