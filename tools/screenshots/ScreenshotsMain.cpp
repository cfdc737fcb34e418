// Renders the program's windows into PNG files: cw_screenshots DIR [NAME...]. Without names every
// window is rendered; the file of each is DIR/NAME.png. Run it under a display (xvfb-run).
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/Forms.h"
#include "tools/screenshots/Shots.h"

namespace {

const struct {
  const char* name;
  bool (*render)(const std::string& file);
} kShots[] = {
    {"views_list_grid", ShotListGrid},
    {"views_list_grid_frozen", ShotListGridFrozen},
    {"views_looks_tree", ShotLooksTree},
    {"views_looks_list", ShotLooksList},
    {"platform_color_dialog", ShotColorDialog},
    {"platform_font_dialog", ShotFontDialog},
    {"views_preview", ShotPreviewList},
    {"views_preview_cards_landscape", ShotPreviewCardsLandscape},
    {"views_print_list.pdf", ShotPrintListPdf},
    {"platform_print_dialog", ShotPrintDialog},
    {"platform_printer_setup_dialog", ShotPrinterSetupDialog},
    {"flowbox", ShotFlowBox},
    {"kit_card_box", ShotCardBox},
    {"folder_expand_dialog", ShotFolExpandDlg},
    {"folder_confirm_run_dialog", ShotCmdYesNoDlg},
    {"folder_confirm_run_dialog_ended", ShotCmdYesNoDlgEnded},
    {"main_window", ShotMainWindow},
    {"main_tree_enum", ShotMainTreeEnum},
    {"main_window_listing", ShotMainWindowListing},
    {"main_window_summary", ShotMainWindowSummary},
    {"main_window_ratio", ShotMainWindowRatio},
    {"main_about_box", ShotAboutBox},
    {"folder_table_dialog", ShotTableDialog},
    {"folder_table_dialog_new", ShotTableDialogNew},
    {"folder_table_dialog_values", ShotTableDialogValues},
    {"folder_table_dialog_relations", ShotTableDialogRelations},
    {"folder_top_dialog", ShotTopFolderDialog},
    {"folder_cond_dialog", ShotCondDialog},
    {"folder_heading_dialog", ShotFolderHeadingDlg},
    {"folder_condition_dialog", ShotFolderConditionDlg},
    {"folder_condition_dialog_command", ShotFolderCommandPage},
    {"folder_enum_dialog_create", ShotFolderEnumCreateDlg},
    {"folder_enum_dialog", ShotFolderEnumEditDlg},
    {"display_format_dialog", ShotCapEditDlg},
    {"display_format_dialog_other_tables", ShotCapEditOtherTables},
    {"folder_read_csv_dialog", ShotReadCsvDlg},
    {"views_edit_dialog_candidates", ShotEditDialogCandidates},
    {"views_card_controls", ShotCardControls},
    {"views_design_surface", ShotDesignSurface},
    {"kit_layout_designer", ShotLayoutDesigner},
    {"views_card_field_dialog", ShotCardFieldDialog},
    {"main_csv_export_dialog", ShotCsvWriteDlg},
    {"main_listing_progress_dialog", ShotGetListDlg},
    {"folder_relation_check", ShotKensaDlg},
    {"folder_relation_check_edit", ShotKensaEdit},
    {"views_detail_grid", ShotDetailGrid},
    {"views_detail_settings_dialog", ShotDetailCapDlg},
    {"folder_data_check_dialog", ShotDataChkDlg},
    {"main_graph_bars", ShotGraphBars},
    {"main_graph_pie", ShotGraphPie},
    {"main_chart_settings_dialog", ShotChartEditDlg},
};

}  // namespace

bool SaveFormPicture(TForm* form, const std::string& file) {
  form->Show();
  // Let the window system map and paint the window before it is read back.
  for (int i = 0; i < 20; ++i) Application->ProcessMessages();
  return form->GrabImage().SaveToFile(file);
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DIR [NAME...]\n", argv[0]);
    return 2;
  }
  InitApplication(argc, argv);
  const std::string dir = argv[1];
  int failed = 0;
  for (const auto& shot : kShots) {
    bool wanted = argc == 2;
    for (int i = 2; i < argc; ++i) wanted |= std::strcmp(argv[i], shot.name) == 0;
    if (!wanted) continue;
    // A name with an extension of its own (a printed PDF) keeps it; pictures are PNG files.
    const std::string name = shot.name;
    const std::string file = dir + "/" + name + (name.find('.') == std::string::npos ? ".png" : "");
    if (shot.render(file)) {
      std::printf("%s\n", file.c_str());
    } else {
      std::fprintf(stderr, "cannot render %s\n", file.c_str());
      ++failed;
    }
  }
  DoneApplication();
  return failed ? 1 : 0;
}
