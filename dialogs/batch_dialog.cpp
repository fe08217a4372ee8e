#include "dialogs/batch_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <system_error>

#include "cli/convert.h"
#include "dialogs/modal_seam.h"
#include "render/geometry.h"
#include "settings/settings_fields.h"

namespace pelmora {

namespace fs = std::filesystem;

namespace {

constexpr int kDepths[] = {1, 4, 8, 16, 24};

fs::path NativePath(const QString& path) {
  return fs::path(QFile::encodeName(path).toStdString());
}

QString Shown(const fs::path& path) {
  return QDir::toNativeSeparators(QFile::decodeName(path.string().c_str()));
}

bool IsDrawingName(const fs::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".jwc";
}

// A stream in memory for what the converter says about one drawing.
class MemoryStream {
 public:
  MemoryStream() : m_file(open_memstream(&m_text, &m_size)) {}
  ~MemoryStream() {
    Close();
    std::free(m_text);
  }
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;
  std::FILE* File() const { return m_file; }
  std::string Text() {
    Close();
    return m_text != nullptr ? std::string(m_text, m_size) : std::string();
  }

 private:
  void Close() {
    if (m_file != nullptr) std::fclose(m_file);
    m_file = nullptr;
  }
  char* m_text = nullptr;
  std::size_t m_size = 0;
  std::FILE* m_file;
};

}  // namespace

std::vector<BatchItem> PlanBatch(const QStringList& inputs, bool recursive) {
  std::vector<BatchItem> items;
  std::set<fs::path> seen;
  const auto add = [&](const fs::path& drawing, const fs::path& below) {
    std::error_code ec;
    const fs::path key = fs::weakly_canonical(drawing, ec);
    if (seen.insert(ec ? drawing : key).second) items.push_back({drawing, below});
  };
  for (const QString& input : inputs) {
    const fs::path path = NativePath(input);
    std::error_code ec;
    if (!fs::is_directory(path, ec)) {
      add(path, {});
      continue;
    }
    std::vector<fs::path> found;
    const auto options = fs::directory_options::skip_permission_denied;
    if (recursive) {
      for (auto it = fs::recursive_directory_iterator(path, options, ec);
           !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->is_regular_file(ec) && IsDrawingName(it->path())) found.push_back(it->path());
    } else {
      for (auto it = fs::directory_iterator(path, options, ec);
           !ec && it != fs::directory_iterator(); it.increment(ec))
        if (it->is_regular_file(ec) && IsDrawingName(it->path())) found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    for (const fs::path& drawing : found)
      add(drawing, drawing.parent_path().lexically_relative(path));
  }
  return items;
}

BatchDialog::BatchDialog(const Settings& settings, ModalSeam& seam, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_seam(seam) {
  setObjectName(QStringLiteral("BatchDialog"));
  setWindowTitle(QStringLiteral("一括変換"));
  auto* column = new QVBoxLayout(this);

  m_inputs = new QListWidget(this);
  m_inputs->setObjectName(QStringLiteral("Inputs"));
  m_inputs->setSelectionMode(QAbstractItemView::ExtendedSelection);
  auto* input_buttons = new QHBoxLayout;
  auto* add_files = new QPushButton(QStringLiteral("図面を追加..."), this);
  auto* add_folder = new QPushButton(QStringLiteral("フォルダを追加..."), this);
  auto* remove = new QPushButton(QStringLiteral("外す"), this);
  m_recursive = new QCheckBox(QStringLiteral("サブフォルダも"), this);
  m_recursive->setChecked(true);
  for (QWidget* w : std::initializer_list<QWidget*>{add_files, add_folder, remove, m_recursive})
    input_buttons->addWidget(w);
  input_buttons->addStretch(1);
  column->addWidget(new QLabel(QStringLiteral("変換する図面とフォルダ:"), this));
  column->addWidget(m_inputs, 1);
  column->addLayout(input_buttons);

  auto* form = new QFormLayout;
  auto* output_row = new QHBoxLayout;
  m_output = new QLineEdit(this);
  m_output->setObjectName(QStringLiteral("Output"));
  auto* browse = new QPushButton(QStringLiteral("参照..."), this);
  output_row->addWidget(m_output, 1);
  output_row->addWidget(browse);
  form->addRow(QStringLiteral("出力フォルダ:"), output_row);

  m_format = new QComboBox(this);
  // Every format the converter knows by name, in its order.
  for (const char* word : {"bmp", "png", "tiff", "pdf", "svg", "dxf"}) {
    const std::optional<ImageFormat> format = FormatFromString(word);
    if (!format || m_format->findData(static_cast<int>(*format)) >= 0) continue;
    const std::string_view name = FormatName(*format);
    m_format->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())),
                      static_cast<int>(*format));
  }
  form->addRow(QStringLiteral("形式:"), m_format);

  m_dpi = new QSpinBox(this);
  m_dpi->setRange(1, 600);
  m_dpi->setSuffix(QStringLiteral(" dpi"));
  form->addRow(QStringLiteral("出力解像度:"), m_dpi);

  m_depth = new QComboBox(this);
  for (int bits : kDepths) {
    const std::string_view label = ColorModeLabel(bits);
    m_depth->addItem(
        QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size())).trimmed(), bits);
  }
  form->addRow(QStringLiteral("ｶﾗｰﾓｰﾄﾞ:"), m_depth);

  m_region = new QComboBox(this);
  m_region->addItem(QStringLiteral("用紙全体"), 0);
  for (int tag = 1; tag <= 9; ++tag) {
    const PaperPreset* preset = PaperPresetByTag(tag);
    m_region->addItem(
        QString::fromUtf8(preset->caption.data(), static_cast<qsizetype>(preset->caption.size()))
            .trimmed(),
        tag);
  }
  form->addRow(QStringLiteral("範囲:"), m_region);
  m_skip = new QCheckBox(QStringLiteral("既にあるファイルは飛ばす（外すと置き換える）"), this);
  m_skip->setChecked(true);
  form->addRow(QString(), m_skip);
  column->addLayout(form);

  m_current = new QLabel(this);
  m_drawing_bar = new QProgressBar(this);
  m_drawing_bar->setObjectName(QStringLiteral("DrawingProgress"));
  m_drawing_bar->setRange(0, 100);
  m_all_bar = new QProgressBar(this);
  m_all_bar->setObjectName(QStringLiteral("OverallProgress"));
  m_all_bar->setFormat(QStringLiteral("%v / %m"));
  column->addWidget(m_current);
  column->addWidget(m_drawing_bar);
  column->addWidget(m_all_bar);
  m_log = new QPlainTextEdit(this);
  m_log->setObjectName(QStringLiteral("Log"));
  m_log->setReadOnly(true);
  column->addWidget(m_log, 1);

  auto* buttons = new QHBoxLayout;
  m_start = new QPushButton(QStringLiteral("変換"), this);
  m_start->setObjectName(QStringLiteral("Start"));
  m_cancel = new QPushButton(QStringLiteral("中止"), this);
  m_cancel->setObjectName(QStringLiteral("Cancel"));
  m_cancel->setEnabled(false);
  m_close = new QPushButton(QStringLiteral("閉じる"), this);
  buttons->addStretch(1);
  for (QPushButton* b : {m_start, m_cancel, m_close}) buttons->addWidget(b);
  column->addLayout(buttons);

  connect(add_files, &QPushButton::clicked, this, [this] { AddFiles(); });
  connect(add_folder, &QPushButton::clicked, this, [this] { AddFolder(); });
  connect(remove, &QPushButton::clicked, this, [this] { qDeleteAll(m_inputs->selectedItems()); });
  connect(browse, &QPushButton::clicked, this, [this] { ChooseOutput(); });
  connect(m_start, &QPushButton::clicked, this, [this] { Start(); });
  connect(m_cancel, &QPushButton::clicked, this, [this] { Cancel(); });
  connect(m_close, &QPushButton::clicked, this, [this] { reject(); });

  SetDpi(std::clamp(settings.dpi, 1, 600));
  SetDepth(settings.ColorMode);
  resize(560, 560);
}

BatchDialog::~BatchDialog() {
  m_stop = true;
  Join();
}

void BatchDialog::SetInputs(const QStringList& inputs) {
  m_inputs->clear();
  m_inputs->addItems(inputs);
}
void BatchDialog::SetOutputFolder(const QString& folder) {
  m_output->setText(folder);
}
void BatchDialog::SetRecursive(bool recursive) {
  m_recursive->setChecked(recursive);
}
void BatchDialog::SetFormat(ImageFormat format) {
  m_format->setCurrentIndex(std::max(0, m_format->findData(static_cast<int>(format))));
}
void BatchDialog::SetDpi(int dpi) {
  m_dpi->setValue(dpi);
}
void BatchDialog::SetDepth(int bits) {
  m_depth->setCurrentIndex(std::max(0, m_depth->findData(bits)));
}
void BatchDialog::SetRegionTag(int tag) {
  m_region->setCurrentIndex(std::max(0, m_region->findData(tag)));
}
void BatchDialog::SetSkipExisting(bool skip) {
  m_skip->setChecked(skip);
}

ConvertOptions BatchDialog::OptionsFor(const BatchItem& item) const {
  ConvertOptions options;
  options.drawings = {item.drawing.string()};
  options.output_dir = (NativePath(m_output->text()) / item.below).lexically_normal().string();
  options.format = static_cast<ImageFormat>(m_format->currentData().toInt());
  options.dpi = m_dpi->value();
  options.depth = m_depth->currentData().toInt();
  if (const PaperPreset* preset = PaperPresetByTag(m_region->currentData().toInt());
      preset != nullptr && m_region->currentData().toInt() != 0) {
    options.region.kind = RegionChoice::Kind::kSize;
    options.region.width_mm = preset->width_mm;
    options.region.height_mm = preset->height_mm;
    options.region.label = std::string(preset->name);
  }
  // An existing output is skipped, or else replaced: never a question per file.
  options.skip_existing = m_skip->isChecked();
  options.force = !m_skip->isChecked();
  options.quiet = true;
  options.jobs = 1;
  return options;
}

void BatchDialog::AddFiles() {
  const QStringList files = QFileDialog::getOpenFileNames(
      this, QStringLiteral("図面を追加"), QString(), QStringLiteral("JW_CAD図面(*.jwc)"));
  m_inputs->addItems(files);
}

void BatchDialog::AddFolder() {
  const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("フォルダを追加"));
  if (!folder.isEmpty()) m_inputs->addItem(folder);
}

void BatchDialog::ChooseOutput() {
  const QString folder =
      QFileDialog::getExistingDirectory(this, QStringLiteral("出力フォルダ"), m_output->text());
  if (!folder.isEmpty()) m_output->setText(folder);
}

void BatchDialog::Start() {
  if (Running()) return;
  Join();
  QStringList inputs;
  for (int k = 0; k < m_inputs->count(); ++k) inputs << m_inputs->item(k)->text();
  if (m_output->text().trimmed().isEmpty()) {
    m_seam.Message(this, QStringLiteral("出力フォルダを指定して下さい。"));
    return;
  }
  const std::vector<BatchItem> items = PlanBatch(inputs, m_recursive->isChecked());
  if (items.empty()) {
    m_seam.Message(this, QStringLiteral("変換する図面がありません。"));
    return;
  }
  std::vector<ConvertOptions> jobs;
  for (const BatchItem& item : items) jobs.push_back(OptionsFor(item));

  m_done = m_failed = m_skipped = 0;
  m_failures.clear();
  m_summary.clear();
  m_log->clear();
  m_all_bar->setRange(0, static_cast<int>(items.size()));
  m_all_bar->setValue(0);
  m_drawing_bar->setValue(0);
  m_stop = false;
  m_finished = false;
  m_start->setEnabled(false);
  m_cancel->setEnabled(true);

  m_worker = std::thread([this, items, jobs, settings = m_settings] {
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (before_drawing) before_drawing(static_cast<int>(i));
      if (m_stop) break;
      const QString name = Shown(items[i].drawing);
      QMetaObject::invokeMethod(
          this,
          [this, name] {
            m_current->setText(name);
            m_drawing_bar->setValue(0);
          },
          Qt::QueuedConnection);
      std::error_code ec;
      const bool existed = fs::exists(OutputPathFor(items[i].drawing, jobs[i]), ec);
      MemoryStream out, err;
      ConvertStreams streams;
      streams.out = out.File();
      streams.err = err.File();
      int shown = -1;
      streams.progress = [this, &shown](std::int64_t position, std::int64_t total) {
        const int percent =
            total > 0 ? static_cast<int>(std::clamp<std::int64_t>(position * 100 / total, 0, 100))
                      : 0;
        if (percent != shown) {
          shown = percent;
          QMetaObject::invokeMethod(
              this, [this, percent] { m_drawing_bar->setValue(percent); }, Qt::QueuedConnection);
        }
        return !m_stop.load();
      };
      const int status = streams.out && streams.err ? RunConverter(jobs[i], settings, streams) : 1;
      std::string said = err.Text();
      while (!said.empty() && (said.back() == '\n' || said.back() == '\r')) said.pop_back();
      const bool skipped = status == 0 && existed && jobs[i].skip_existing;
      const int index = static_cast<int>(i);
      QMetaObject::invokeMethod(
          this,
          [this, index, name, status, skipped, said] {
            if (status != 0) {
              ++m_failed;
              const QString reason = QString::fromStdString(said);
              m_failures << (reason.isEmpty() ? name : reason);
              m_log->appendPlainText(QStringLiteral("失敗: ") + (reason.isEmpty() ? name : reason));
            } else if (skipped) {
              ++m_skipped;
              m_log->appendPlainText(QStringLiteral("飛ばした: ") + name);
            } else {
              ++m_done;
              m_log->appendPlainText(QStringLiteral("変換: ") + name);
            }
            m_drawing_bar->setValue(100);
            m_all_bar->setValue(index + 1);
          },
          Qt::QueuedConnection);
    }
    const bool cancelled = m_stop.load();
    QMetaObject::invokeMethod(
        this, [this, cancelled] { Finished(cancelled); }, Qt::QueuedConnection);
  });
}

void BatchDialog::Finished(bool cancelled) {
  Join();
  m_finished = true;
  m_start->setEnabled(true);
  m_cancel->setEnabled(false);
  m_current->setText(cancelled ? QStringLiteral("中止しました。")
                               : QStringLiteral("終了しました。"));
  m_summary =
      QStringLiteral("変換 %1、失敗 %2、飛ばした %3").arg(m_done).arg(m_failed).arg(m_skipped);
  if (cancelled) m_summary += QStringLiteral("（中止）");
  for (const QString& failure : m_failures) m_summary += QLatin1Char('\n') + failure;
  m_log->appendPlainText(QStringLiteral("\n") + m_summary);
}

void BatchDialog::Cancel() {
  m_stop = true;
}

void BatchDialog::Join() {
  if (m_worker.joinable()) m_worker.join();
}

void BatchDialog::Wait() {
  while (!m_finished) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void BatchDialog::reject() {
  // Closing while converting cancels first; the dialog then stays for its summary.
  if (!m_finished) {
    Cancel();
    return;
  }
  QDialog::reject();
}

void BatchDialog::closeEvent(QCloseEvent* event) {
  if (!m_finished) {
    Cancel();
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

}  // namespace pelmora
