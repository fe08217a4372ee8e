// TForm1: the main window. Owns the settings, the drawing reader, the
// visibility tables, the selection box and the preview picture for the whole
// run, and wires every command to the core that carries it out. Rendering is
// the core's DrawImage; this window only chooses the arguments and the
// destination.
#pragma once

#include <QCursor>
#include <QList>
#include <QMainWindow>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "app/selection.h"
#include "platform/raster/bitmap.h"
#include "output/image_format.h"
#include "render/draw_image.h"
#include "render/geometry.h"
#include "settings/settings.h"
#include "settings/store.h"

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QPrinter;
class QScrollArea;
class QToolBar;
class QToolButton;

namespace pelmora {

class InfoPanel;
struct DrawingSummary;
class ModalSeam;
class PreviewArea;
class PreviewImage;
class ProgressPanel;
class QuickPanel;
class Tjwcin;

// Where a window of the saved bounds `window` opens: where it was when it
// intersects one of the `screens` (their available areas); otherwise at the
// top-left of the `primary` screen's available area, keeping its size where it
// fits and shrunk to that area where it does not.
QRect PlacedOnScreen(const QRect& window, const QList<QRect>& screens, const QRect& primary);

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  // FormCreate: loads the settings from `store`, applies them, puts the window
  // into its state without a drawing and creates the reader. Every modal
  // question goes through `seam`, which must outlive the window.
  TForm1(ModalSeam& seam, SettingsStore store, QWidget* parent = nullptr);
  ~TForm1() override;

  // ---- commands (menu items, toolbar buttons, context menu)
  void F1Click();                 // open a drawing through the file dialog
  void SaveBmp();                 // write the selection as a .bmp file
  QString SaveStartFolder() const;  // the save dialog's first folder
  void ToolButton3Click();        // copy the selection to the clipboard
  void F99Click();                // close the window
  void E1Click();                 // select the whole paper
  void E2_Click(int tag);         // paper-size preset 1..9, or 10 = custom size
  void E3Click();                 // custom size
  void E11Click();                // toolbar toggle
  void E12Click();                // information panel toggle
  void S1_Click(int tag);         // colour depth 1..5
  void S2_Click(int tag);         // resolution 1..7, 8 = custom
  void S3Click(int tag);          // settings dialog: tag 3 pen page, 5 options page
  void S4Click();                 // layer display dialog
  void H10Click();                // version dialog

  // Opens `path` as F1Click does after its dialog (also the command line's
  // file and a dropped file). Returns true when the drawing is shown.
  bool OpenDrawing(const QString& path);

  // ---- the view: how the preview is shown, never what it holds
  static constexpr int kRecentLimit = 8;
  void ZoomFit();     // the whole paper in the window, following its size
  void ZoomActual();  // 100 %: one preview pixel per device pixel
  void ZoomIn();
  void ZoomOut();
  // Device pixels per preview pixel; the preview point under `anchor` (a
  // position in the scroll area's viewport) stays under it. Leaves the fit view.
  void SetViewZoom(double zoom, const QPointF& anchor);
  double ViewZoom() const;
  bool FitView() const { return m_fit_view; }
  QScrollArea* PreviewScroll() const { return m_preview_scroll; }
  // Moves the box by whole preview pixels, stopping at the paper's edges.
  void NudgeBox(int dx, int dy);
  void ToggleQuickPanel();

  // ---- recent drawings, newest first
  const QStringList& RecentFiles() const { return m_recent; }
  void OpenRecent(const QString& path);

  // ---- print and batch conversion
  void PrintClick();   // the system print dialog
  void BatchClick();   // the batch conversion dialog
  // Prints the selection on `printer`: at the paper's scale, or fitted to the
  // page; in colour or black on white. False with the reason when nothing was printed.
  bool PrintSelection(QPrinter& printer, bool fit_to_page, bool colour, QString* error);

  // ---- operations shared with the dialogs and the quick panel
  static int IsSupported(const QString& file_name);  // 1 = the JW_CAD signature
  void DefaultSet();
  void NoFileSet();
  void OkFileSet();
  void SizeSet();
  void DrawBox();
  void preGroupe();
  void preLayer();
  // The core render with this window's state; mode 1 replaces the preview,
  // 2 writes OutputFileName(), 3 fills the clipboard. 1 = done, 0 = failed.
  int DrawImage(int width, int height, int originX, int originY, float scale, int mode);
  void Progress(std::int64_t position, std::int64_t total);

  // The preview's mouse events, in preview pixels.
  void ImageMouseDown(Qt::MouseButton button, int X, int Y);
  void ImageMouseMove(int X, int Y);
  void ImageMouseUp(Qt::MouseButton button, int X, int Y);
  // Ends a drag whose button release the picture will not see (a popup took
  // the mouse, the window lost the focus, a move arrived with no button held).
  void EndDrag();
  void Panel2MouseMove();
  void ToolBar1MouseMove();

  // ---- state
  Settings& settings() { return m_settings; }
  const Settings& settings() const { return m_settings; }
  const SettingsStore& Store() const { return m_store; }
  ModalSeam& Seam() const { return m_seam; }
  const Tjwcin& Reader() const { return *m_reader; }
  bool DrawingLoaded() const { return m_drawing_loaded; }
  bool PreviewStale() const { return m_preview_stale; }
  void SetPreviewStale(bool stale) { m_preview_stale = stale; }
  float PixelsPerMm() const { return m_pixels_per_mm; }
  int PaperWidthMm() const { return m_paper_width_mm; }
  int PaperHeightMm() const { return m_paper_height_mm; }
  SelectionBox Box() const;
  void SetBox(const SelectionBox& box);
  const SelectionBox& DrawnBox() const { return m_drawn_box; }
  int GrabZone() const { return m_grab_zone; }
  bool Dragging() const { return m_dragging; }
  std::array<std::uint8_t, 256>& LayerVisible() { return m_layer_visible; }
  std::array<std::uint8_t, 16>& GroupVisible() { return m_group_visible; }
  int LayerPanelGroup() const { return m_layer_panel_group; }
  const Bitmap* Preview() const { return m_preview.get(); }
  const QString& DrawingFileName() const { return m_drawing_file; }
  const QString& OutputFileName() const { return m_output_file; }
  QuickPanel* quickPanel() const { return m_quick_panel; }
  PreviewImage* Image1() const;
  ProgressPanel* progressPanel() const { return m_progress; }

  // The name SaveBmp proposes for a drawing file: its base name with the last
  // extension replaced by ".bmp", or ".bmp" appended.
  static QString SuggestedBmpName(const QString& drawing_file);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildViewActions();
  void BuildViewButtons();
  // Panel2's size for the picture at the zoom, with the scroll bars updated now.
  void LayOutPreview();
  double FitZoom() const;
  void ApplyZoom(double zoom);
  void ShowZoom();
  void UpdateOverlay();
  // Draws the last drawn box into the preview once more (exclusive or: takes it out).
  void XorDrawnBox();
  bool ViewEvent(QObject* watched, QEvent* event);
  void AddRecent(const QString& path);
  void FillRecentMenu();
  void SaveRecent();
  void ShowTitle();
  void LayerTips();

  void FormCreate();
  void FormShow();
  void FormClose();
  // The information panel's drawing file group: name, date, paper, counts.
  void ShowSummary(const DrawingSummary& summary);
  // Moves a window that no screen shows onto the primary screen.
  void KeepOnScreen();

  void BuildActions();
  void BuildMenus();
  void BuildToolBar();
  void BuildPanels();
  void BuildStatusBar();

  // The shared preview re-render. `blocking`: the window is disabled and
  // PreviewStale cleared (colour depth, stale preview); otherwise a failure
  // is reported with "エラー。" (after the settings and layer dialogs).
  bool RefreshPreview(bool blocking);
  // The file render for a format other than BMP: bands straight into the
  // format's encoder. 1 = written and "完了" said, 0 = failed.
  int SaveEncoded(const RenderContext& context, ImageFormat format, int width, int height,
                  int originX, int originY, float scale);
  // A vector document (PDF, SVG, DXF) from the same walk. 1 = written and "完了" said.
  int SaveVector(const RenderContext& context, ImageFormat format, int width, int height,
                 int originX, int originY, float scale);
  // Renders the whole paper into the preview; true when the picture was replaced.
  bool RenderPreview();
  void ShowPreview();
  // Places a box of width × height millimetres at the paper's top-left corner.
  void PlaceBoxMm(long double width_mm, long double height_mm);
  // The custom size dialog pre-filled with the box's size; on OK places the
  // typed size and checks the custom items.
  void AskCustomSize();
  OutputGeometry Geometry() const;

  // Radio items of the menus and their toolbar twins, checked as the commands
  // decided (ApplyChecks undoes the check Qt gives a clicked item by itself).
  void CheckDepth(int bits);
  void CheckDpi(int dpi_tag);
  void CheckPaper(int tag);
  void ApplyChecks();
  void ShowDpi();
  void ShowDepth();

  // Application-wide cursors.
  void SetScreenCursor(ZoneCursor cursor);
  void SetWaitCursor();
  void SetDefaultCursor();

  // Runs a command; an exception that escapes it goes to the general error
  // display, and the window is left enabled with the normal cursor.
  void Run(const std::function<void()>& command);

  ModalSeam& m_seam;
  SettingsStore m_store;
  Settings m_settings;
  std::unique_ptr<Tjwcin> m_reader;

  bool m_drawing_loaded = false;
  bool m_preview_stale = false;
  bool m_shown_once = false;
  // Preview pixels per millimetre of paper, and the paper; no paper is known
  // (0) until a drawing with a paper code 0..4 has been loaded.
  float m_pixels_per_mm = 0.0f;
  int m_paper_width_mm = 0;
  int m_paper_height_mm = 0;
  int m_preview_width = 0;   // W, the drawing's window width
  int m_preview_height = 0;  // H = round(W / √2)

  SelectionBox m_drawn_box;
  int m_grab_zone = kNoZone;
  bool m_dragging = false;
  Grab m_grab;

  std::array<std::uint8_t, 256> m_layer_visible{};
  std::array<std::uint8_t, 16> m_group_visible{};
  int m_layer_panel_group = 0;

  std::unique_ptr<Bitmap> m_preview;  // 24 bits; the box is drawn into it
  QString m_drawing_file;
  QString m_output_file;
  bool m_save_vector = true;  // a .pdf saved as a vector document (not chosen as an image)
  // Until the user picks a save folder in this session the save dialog opens
  // beside the drawing, where most people keep its images.
  bool m_save_folder_chosen = false;
  bool m_failure_reported = false;  // the delivery already told the user
  int m_dpi_tag = 1;     // checked resolution item, 8 = custom
  int m_paper_tag = 10;  // checked paper-size item, 10 = custom
  std::array<bool, 9> m_preset_fits{};  // presets 1..9 fit the last known paper
  QCursor m_hand_cursor;
  ZoneCursor m_screen_cursor = ZoneCursor::kDefault;
  bool m_wait_cursor = false;

  // Widgets and actions, named as in the form.
  QToolBar* m_toolbar = nullptr;
  InfoPanel* m_panel1 = nullptr;
  QScrollArea* m_info_scroll = nullptr;
  QScrollArea* m_preview_scroll = nullptr;
  PreviewArea* m_panel2 = nullptr;
  QuickPanel* m_quick_panel = nullptr;
  ProgressPanel* m_progress = nullptr;
  QLabel* m_status_panel2 = nullptr;
  QLabel *m_label4 = nullptr, *m_label5 = nullptr, *m_label6 = nullptr, *m_label8 = nullptr,
         *m_label10 = nullptr, *m_label16 = nullptr, *m_label17 = nullptr,
         *m_label18 = nullptr, *m_label19 = nullptr, *m_label21 = nullptr,
         *m_label23 = nullptr, *m_label25 = nullptr;

  QAction *m_F1 = nullptr, *m_F2_1 = nullptr, *m_F2_2 = nullptr, *m_F99 = nullptr;
  QAction *m_E1 = nullptr, *m_E3 = nullptr, *m_E11 = nullptr, *m_E12 = nullptr;
  QAction *m_S3 = nullptr, *m_S4 = nullptr, *m_S5 = nullptr, *m_H10 = nullptr;
  QAction *m_N4 = nullptr, *m_N5 = nullptr;
  std::array<QAction*, 10> m_E2{}, m_P3{};  // tags 1..10
  std::array<QAction*, 5> m_S1{}, m_P1{};   // tags 1..5
  std::array<QAction*, 8> m_S2{}, m_P2{};   // tags 1..8
  QMenu *m_popup1 = nullptr, *m_popup2 = nullptr, *m_popup3 = nullptr, *m_popup4 = nullptr;
  // The commands added beside the original ones.
  QAction *m_print = nullptr, *m_batch = nullptr, *m_fit = nullptr, *m_actual = nullptr,
          *m_zoom_in = nullptr, *m_zoom_out = nullptr, *m_quick = nullptr;
  std::array<QAction*, 4> m_nudge{}, m_nudge_far{};  // left, right, up, down
  QMenu *m_recent_menu = nullptr, *m_view_menu = nullptr;
  QLabel* m_zoom_label = nullptr;
  QStringList m_recent;
  bool m_fit_view = false;
  bool m_panning = false;
  QPoint m_pan_from;     // global position of the last pan step

  QToolButton *m_tool1 = nullptr, *m_tool2 = nullptr, *m_tool3 = nullptr, *m_tool6 = nullptr,
              *m_tool7 = nullptr, *m_tool8 = nullptr, *m_tool10 = nullptr,
              *m_tool11 = nullptr;
};

}  // namespace pelmora
