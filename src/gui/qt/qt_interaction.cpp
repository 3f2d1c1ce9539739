#include "gui/qt/qt_interaction.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPixmap>
#include <QProcess>
#include <QStandardPaths>
#include <QWidget>
#include <limits>
#include <QWindow>

#include "app/frm_mabrel94.h"
#include "backup/frm_compare.h"
#include "backup/frm_rclick.h"
#include "drives/frm_drive.h"
#include "gui/qt/compare_dialog.h"
#include "gui/qt/dialogs.h"
#include "gui/qt/gui_util.h"
#include "gui/qt/native_path.h"
#include "gui/qt/progress_dialog.h"
#include "settings/frm_option.h"

namespace mabrel::gui {

namespace {

constexpr int kIconSize = 16;
// A copy that has run this long shows its progress.
constexpr qint64 kProgressDelayMs = 500;
// How often a copy lets the windows paint and the progress window answer.
constexpr qint64 kPumpMs = 30;
// How long a load waits for a window just shown to be put on the screen.
constexpr qint64 kExposeWaitMs = 1000;

bool isInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}

// Drops the person's input to every window but the progress window while a
// copy runs: a click made meanwhile neither runs during the copy nor after.
class InputBlocker : public QObject {
public:
    explicit InputBlocker(const QPointer<ProgressDialog>& progress) : progress_(progress) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!isInput(event->type())) return false;
        if (progress_) {
            if (auto* w = qobject_cast<QWidget*>(watched); w != nullptr && w->window() == progress_) return false;
            if (auto* win = qobject_cast<QWindow*>(watched); win != nullptr && win == progress_->windowHandle()) {
                return false;
            }
        }
        return true;
    }

private:
    const QPointer<ProgressDialog>& progress_;
};

std::optional<IconImage> render16(const QIcon& icon) {
    if (icon.isNull()) return std::nullopt;
    QPixmap pixmap = icon.pixmap(QSize(kIconSize, kIconSize));
    if (pixmap.isNull()) return std::nullopt;
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    if (image.width() != kIconSize || image.height() != kIconSize) {
        // A theme without a 16 x 16 size: fit the picture, centred.
        QImage fitted(kIconSize, kIconSize, QImage::Format_ARGB32);
        fitted.fill(Qt::transparent);
        const QImage scaled = image.scaled(kIconSize, kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        for (int y = 0; y < scaled.height(); ++y) {
            for (int x = 0; x < scaled.width(); ++x) {
                fitted.setPixel(x + (kIconSize - scaled.width()) / 2, y + (kIconSize - scaled.height()) / 2,
                                scaled.pixel(x, y));
            }
        }
        image = fitted;
    }
    IconImage out;
    out.width = kIconSize;
    out.height = kIconSize;
    out.pixels.reserve(kIconSize * kIconSize);
    for (int y = 0; y < kIconSize; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        out.pixels.insert(out.pixels.end(), line, line + kIconSize);
    }
    return out;
}

// A message or input box whose buttons show their text alone, whatever icons
// the desktop's style gives standard buttons. Qt makes an input box's
// buttons only as it shows it.
template <typename Box>
class PlainButtons : public Box {
public:
    using Box::Box;

protected:
    void showEvent(QShowEvent* event) override {
        Box::showEvent(event);
        for (QAbstractButton* button : this->template findChildren<QAbstractButton*>()) button->setIcon(QIcon());
    }
};

}  // namespace

void chooseIconTheme() {
    // Platforms without a desktop theme (offscreen, a bare X server) search
    // only Qt's resources: add the desktop's icon folders.
    QStringList paths = QIcon::themeSearchPaths();
    QStringList folders{QDir::homePath() + QStringLiteral("/.icons")};
    folders += QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                         QStandardPaths::LocateDirectory);
    for (const QString& folder : folders) {
        if (!paths.contains(folder) && QDir(folder).exists()) paths.append(folder);
    }
    QIcon::setThemeSearchPaths(paths);

    const QString theme = QIcon::themeName();
    if (theme.isEmpty() || theme == QLatin1String("hicolor")) {
        // No desktop theme (a bare X server, the offscreen platform): the
        // theme installed with the program, which has an icon for each kind
        // of file at 16 x 16.
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    }
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
}

struct QtInteraction::Copy {
    QElapsedTimer started;
    QElapsedTimer pumped;
    bool cancelled = false;
    QPointer<ProgressDialog> dialog;
    InputBlocker blocker{dialog};
};

struct QtInteraction::Load {
    QElapsedTimer pumped;
    bool cancelled = false;
    QPointer<ProgressDialog> noWindow;  // no window takes input during a load
    InputBlocker blocker{noWindow};
};

QtInteraction::QtInteraction(platform::FileSystem& fs)
    : fs_(fs), shellOpener_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {}

QtInteraction::~QtInteraction() {
    endCopy();
    loadProgressEnd();
}

void QtInteraction::messageBox(const std::string& text) {
    loadProgressEnd();  // the box must take the person's answer
    if (renderHandler_) renderHandler_();
    PlainButtons<QMessageBox> box(QMessageBox::NoIcon, QString::fromUtf8(kAppTitle), toQ(text), QMessageBox::Ok,
                                  owner_);
    box.setFont(designFont(9));
    box.exec();
}

bool QtInteraction::askYesNo(const std::string& text) {
    loadProgressEnd();
    if (renderHandler_) renderHandler_();
    PlainButtons<QMessageBox> box(QMessageBox::NoIcon, QString::fromUtf8(kAppTitle), toQ(text),
                                  QMessageBox::Yes | QMessageBox::No, owner_);
    box.setFont(designFont(9));
    // Alt+Y and Alt+N, as Japanese Windows marks them.
    box.button(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
    box.button(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
    // Nothing is lost by a key pressed unthinking.
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> QtInteraction::inputBox(const std::string& prompt, const std::string& title,
                                                   const std::string& defaultText) {
    PlainButtons<QInputDialog> dialog(owner_);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(toQ(title));
    dialog.setLabelText(toQ(prompt));
    // Any length a comment may have, not Qt's 32767 characters.
    if (auto* edit = dialog.findChild<QLineEdit*>()) edit->setMaxLength(std::numeric_limits<int>::max());
    dialog.setTextValue(toQ(defaultText));
    dialog.setFont(designFont(9));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return fromQ(dialog.textValue());
}

void QtInteraction::showModal(frm_rclick& window) {
    window.Form_Load();
    RClickDialog dialog(window, owner_);
    if (!window.unloaded) dialog.exec();
    window.unloaded = true;
}

void QtInteraction::showModal(frm_option& window) {
    window.Form_Load();
    OptionDialog dialog(window, owner_);
    if (!window.unloaded) dialog.exec();
    window.unloaded = true;
}

void QtInteraction::showModal(frm_drive& window) {
    window.Form_Load();
    DriveDialog dialog(window, owner_);
    if (!window.unloaded) dialog.exec();
    window.unloaded = true;
}

void QtInteraction::showModal(frm_compare& window) {
    window.Form_Load();
    CompareDialog dialog(window, owner_);
    dialog.run();
    window.unloaded = true;
}

void QtInteraction::setWindowState(WindowState state) {
    if (windowStateHandler_) windowStateHandler_(state);
}

void QtInteraction::endProgram() {
    if (endProgramHandler_) {
        endProgramHandler_();
    } else {
        QCoreApplication::quit();
    }
}

void QtInteraction::setWaitCursor(bool on) {
    if (on == waitCursorShown_) return;
    waitCursorShown_ = on;
    if (on) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void QtInteraction::shellExecute(const ShellRequest& request) {
    // Only "open" exists. The path goes to the desktop as one URL, so no
    // character of a name is ever read by a command shell. The answer is not
    // looked at, as nothing is reported for a failed open.
    if (request.operation != "open" || request.file.empty()) return;
    if (!request.ownName.empty() && request.ownName.size() < request.file.size()) {
        // A name that is not UTF-8 goes as its own bytes, percent-encoded:
        // no text could carry it, and a "\" byte in it is no separator.
        const std::string folder = request.file.substr(0, request.file.size() - request.ownName.size());
        std::optional<std::string> native = nativePathFor(fs_, folder);
        if (!native) return;
        if (native->empty() || native->back() != '/') *native += '/';
        *native += request.ownName;
        // Qt's opener and QUrl turn a path into text first, which cannot
        // hold its bytes (and reads an encoded "\\" as one): the URL goes to
        // the desktop's opener as it is written here.
        const QByteArray bytes(native->data(), static_cast<qsizetype>(native->size()));
        QProcess::startDetached(QStringLiteral("xdg-open"),
                                {QString::fromLatin1("file://" + bytes.toPercentEncoding("/"))});
        return;
    }
    const std::optional<std::string> native = nativePathFor(fs_, request.file);
    if (!native) return;
    shellOpener_(QUrl::fromLocalFile(toQ(*native)));
}

bool QtInteraction::openInCompareTool(const CompareToolRequest& request) {
    const std::optional<std::string> older = nativePathFor(fs_, request.older);
    const std::optional<std::string> newer = nativePathFor(fs_, request.newer);
    if (!older || !newer) return false;
    for (const QString& tool : {QStringLiteral("meld"), QStringLiteral("kompare")}) {
        const QString program = QStandardPaths::findExecutable(tool);
        if (program.isEmpty()) continue;
        QStringList arguments;
        if (tool == QLatin1String("meld")) {
            arguments << QStringLiteral("--label=") + toQ(request.olderTitle)
                      << QStringLiteral("--label=") + toQ(request.newerTitle);
        }
        // Each path one argument, never read by a shell.
        arguments << toQ(*older) << toQ(*newer);
        if (QProcess::startDetached(program, arguments)) return true;
    }
    return false;
}

SharedIcon QtInteraction::iconFor(const std::string& path) {
    // Neither the file nor its folder is read for an icon: a large folder,
    // or one on a slow drive, lists as quickly as its names can be read.
    const std::size_t nameStart = path.find_last_of("\\/");
    const std::size_t dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && (nameStart == std::string::npos || dot > nameStart);
    const std::string extension = hasExtension ? path.substr(dot) : std::string();
    if (auto it = iconsByExtension_.find(extension); it != iconsByExtension_.end()) return it->second;
    SharedIcon icon = iconOfType(extension);
    iconsByExtension_.emplace(extension, icon);
    return icon;
}

SharedIcon QtInteraction::iconOfType(const std::string& extension) {
    static const QMimeDatabase mimeDb;
    // Any name with this extension: the type follows from it alone.
    const QMimeType mime =
        extension.empty()
            ? mimeDb.mimeTypeForName(QStringLiteral("application/octet-stream"))
            : mimeDb.mimeTypeForFile(QStringLiteral("x") + toQ(extension), QMimeDatabase::MatchExtension);
    const std::string type = fromQ(mime.name());
    if (auto it = iconsByType_.find(type); it != iconsByType_.end()) return it->second;

    SharedIcon icon;
    for (const QString& name : {mime.iconName(), mime.genericIconName(), QStringLiteral("text-x-generic")}) {
        if (name.isEmpty() || !QIcon::hasThemeIcon(name)) continue;
        if (auto image = render16(QIcon::fromTheme(name))) {
            icon = std::make_shared<const IconImage>(std::move(*image));
            break;
        }
    }
    iconsByType_.emplace(type, icon);
    return icon;
}

bool QtInteraction::copyProgress(const std::string& fileName, std::uint64_t copied, std::uint64_t total) {
    if (!copy_) {
        copy_ = std::make_unique<Copy>();
        copy_->started.start();
        qApp->installEventFilter(&copy_->blocker);
        QApplication::setOverrideCursor(Qt::BusyCursor);
    }
    Copy& copy = *copy_;
    if (copy.dialog == nullptr && copy.started.elapsed() >= kProgressDelayMs) {
        // Modal: the main window takes no input until the copy is over.
        copy.dialog = new ProgressDialog(owner_);
        copy.dialog->show();
        copy.pumped.invalidate();
    }
    if (copy.dialog != nullptr) copy.dialog->setProgress(toQ(fileName), copied, total);
    if (!copy.pumped.isValid() || copy.pumped.elapsed() >= kPumpMs) {
        copy.pumped.start();
        QCoreApplication::processEvents();
    }
    return !copy.cancelled && !(copy.dialog != nullptr && copy.dialog->cancelled());
}

void QtInteraction::copyProgressEnd() {
    if (!copy_) return;
    // Input made during the copy that is still on its way is dropped too.
    QCoreApplication::processEvents();
    endCopy();
}

void QtInteraction::endCopy() {
    if (!copy_) return;
    std::unique_ptr<Copy> copy = std::move(copy_);
    delete copy->dialog.data();
    qApp->removeEventFilter(&copy->blocker);
    QApplication::restoreOverrideCursor();
}

bool QtInteraction::loadProgress(const std::string& statusText) {
    if (!load_) {
        // The window as the load has left it so far (controls, an empty
        // list), before the load takes the window over.
        if (renderHandler_) renderHandler_();
        load_ = std::make_unique<Load>();
        qApp->installEventFilter(&load_->blocker);
        // A window just shown is painted before the folder is read, once the
        // window system has put it on the screen.
        QElapsedTimer waited;
        waited.start();
        QWindow* shown = owner_ != nullptr ? owner_->windowHandle() : nullptr;
        while (shown != nullptr && owner_->isVisible() && !shown->isExposed() && waited.elapsed() < kExposeWaitMs) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        }
    } else if (statusHandler_) {
        statusHandler_(statusText);
    }
    if (!load_->pumped.isValid() || load_->pumped.elapsed() >= kPumpMs) {
        load_->pumped.start();
        QCoreApplication::processEvents();
    }
    return !(load_ && load_->cancelled);
}

void QtInteraction::loadProgressEnd() {
    if (!load_) return;
    std::unique_ptr<Load> load = std::move(load_);
    qApp->removeEventFilter(&load->blocker);
}

void QtInteraction::cancelLoad() {
    if (load_) load_->cancelled = true;
}

void QtInteraction::cancelCopy() {
    if (copy_) copy_->cancelled = true;
}

ProgressDialog* QtInteraction::progressWindow() const { return copy_ ? copy_->dialog.data() : nullptr; }

unsigned QtInteraction::driveType(const std::string& root) {
    try {
        return fs_.driveType(root);
    } catch (const std::exception&) {
        return 0;  // not determinable
    }
}

}  // namespace mabrel::gui
