// "一括変換": converts many drawings from the window with the converter's own
// engine, so the files are those pelmora-convert writes with the same choices.
// The work runs on a thread of its own, one drawing at a time; the dialog
// stays responsive, shows the drawing's and the whole run's progress, and can
// cancel (the drawing being written is abandoned and leaves no file).
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/options.h"
#include "settings/settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace pelmora {

class ModalSeam;

// One drawing of a batch and where its output goes below the output folder.
struct BatchItem {
  std::filesystem::path drawing;
  std::filesystem::path below;  // its folder relative to the chosen folder ("" for a file)
};

// The drawings of `inputs` (files as they are; folders walked for *.jwc, in
// name order, into subfolders when `recursive`), each once.
std::vector<BatchItem> PlanBatch(const QStringList& inputs, bool recursive);

class BatchDialog : public QDialog {
  Q_OBJECT

 public:
  // `settings`: the window's pens and options, copied; the dialog starts with
  // its resolution and colour depth.
  BatchDialog(const Settings& settings, ModalSeam& seam, QWidget* parent);
  ~BatchDialog() override;

  // ---- the choices (also for tests)
  void SetInputs(const QStringList& inputs);
  void SetOutputFolder(const QString& folder);
  void SetRecursive(bool recursive);
  void SetFormat(ImageFormat format);
  void SetDpi(int dpi);
  void SetDepth(int bits);
  void SetRegionTag(int tag);  // 0 = the whole paper, 1..9 the paper-size presets
  void SetSkipExisting(bool skip);

  // The options one drawing is converted with.
  ConvertOptions OptionsFor(const BatchItem& item) const;

  void Start();
  void Cancel();
  bool Running() const { return m_worker.joinable() && !m_finished; }
  // Waits for the run to end (tests); the events of the run are delivered.
  void Wait();
  const QString& Summary() const { return m_summary; }
  int Done() const { return m_done; }
  int Failed() const { return m_failed; }
  int Skipped() const { return m_skipped; }
  // Called on the converting thread before each drawing (tests cancel here).
  std::function<void(int index)> before_drawing;

 protected:
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void AddFiles();
  void AddFolder();
  void ChooseOutput();
  void Finished(bool cancelled);
  void Join();

  Settings m_settings;
  ModalSeam& m_seam;
  QListWidget* m_inputs = nullptr;
  QLineEdit* m_output = nullptr;
  QCheckBox *m_recursive = nullptr, *m_skip = nullptr;
  QComboBox *m_format = nullptr, *m_depth = nullptr, *m_region = nullptr;
  QSpinBox* m_dpi = nullptr;
  QProgressBar *m_drawing_bar = nullptr, *m_all_bar = nullptr;
  QLabel* m_current = nullptr;
  QPlainTextEdit* m_log = nullptr;
  QPushButton *m_start = nullptr, *m_cancel = nullptr, *m_close = nullptr;

  std::thread m_worker;
  std::atomic<bool> m_stop{false};
  bool m_finished = true;
  QString m_summary;
  QStringList m_failures;
  int m_done = 0, m_failed = 0, m_skipped = 0;
};

}  // namespace pelmora
