#include "platform/PlatformGui.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>
#include <vector>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <shellapi.h>

#include <string>
#endif

namespace qm {

namespace {
QWidget* ownerWidget(QObject* owner) {
    if (auto* w = qobject_cast<QWidget*>(owner)) {
        return w;
    }
    return QApplication::activeWindow();
}
} // namespace

namespace {

// What openApplication() does with the toolkit's messages while it opens the display.
struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};
struct Opening {
    QtMessageHandler previous = nullptr;
    QByteArray noDisplay;
    int exitCode = 1;
    std::vector<HeldMessage> held;
};
Opening* g_opening = nullptr;

void whileOpening(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) { // no display: the toolkit ends the program after this message
        std::fputs(g_opening->noDisplay.constData(), stderr);
        std::fflush(stderr);
        std::_Exit(g_opening->exitCode);
    }
    g_opening->held.push_back({type, QByteArray(context.category), text});
}

} // namespace

std::unique_ptr<QApplication> openApplication(int& argc, char** argv, const QString& noDisplay,
                                              int exitCode) {
    Opening opening;
    opening.noDisplay = noDisplay.toLocal8Bit() + '\n';
    opening.exitCode = exitCode;
    g_opening = &opening;
    opening.previous = qInstallMessageHandler(whileOpening);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(opening.previous);
    g_opening = nullptr;
    for (const HeldMessage& m : opening.held) {
        const QMessageLogContext context(nullptr, 0, nullptr, m.category.constData());
        if (opening.previous) {
            opening.previous(m.type, context, m.text);
        }
    }
    return app;
}

QString displayText(const QString& text) {
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

QString qtFilter(const QString& vbFilter) {
    const QStringList parts = vbFilter.split(QLatin1Char('|'));
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // The dialog shows the description as given and takes the patterns from its last
        // parentheses: a description that ends with its own patterns already says both.
        const QString own = QStringLiteral("(") + patterns + QLatin1Char(')');
        entries << (parts[i].endsWith(own) ? parts[i] : parts[i] + QLatin1Char(' ') + own);
    }
    return entries.join(QStringLiteral(";;"));
}

int QtMessageBox::show(const QString& text, int style, const QString& title) {
    QMessageBox box(ownerWidget(nullptr));
    box.setWindowTitle(title.isEmpty() ? kAppTitle : title);
    box.setText(displayText(text));
    box.setTextFormat(Qt::PlainText);
    const int icon = style & 0x70;
    box.setIcon(icon == vbCritical      ? QMessageBox::Critical
                : icon == vbExclamation ? QMessageBox::Warning
                : icon == 32            ? QMessageBox::Question
                : icon == 64            ? QMessageBox::Information
                                        : QMessageBox::NoIcon);
    if ((style & 0x7) == vbYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? vbYes : vbNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return vbOK;
}

DesktopShell::DesktopShell(QString actProgram, DatabaseTest isActDatabase)
    : m_actProgram(std::move(actProgram))
    , m_isActDatabase(std::move(isActDatabase)) {}

void DesktopShell::open(const QString& document, const QString& workingFolder, int /*showMode*/,
                        QObject* /*owner*/) {
    if (document.contains(QLatin1String("://"))) {
        QDesktopServices::openUrl(QUrl(document));
        return;
    }
    const QFileInfo info(QDir(workingFolder).absoluteFilePath(QDir::fromNativeSeparators(document)));
    if (!info.exists()) {
        return; // no such file: the shell opens nothing, and the tool shows nothing either
    }
    if (info.isFile() && m_isActDatabase && m_isActDatabase(info.absoluteFilePath()) &&
        QFileInfo(m_actProgram).isExecutable()) {
        QProcess::startDetached(m_actProgram, {QStringLiteral("start"), info.absoluteFilePath()},
                                workingFolder);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
}

#ifdef Q_OS_WIN
void WindowsShell::open(const QString& document, const QString& workingFolder, int showMode, QObject* owner) {
    QWidget* window = ownerWidget(owner);
    const HWND hwnd = window ? reinterpret_cast<HWND>(window->window()->winId()) : nullptr;
    const std::wstring file = document.toStdWString();
    const std::wstring folder = QDir::toNativeSeparators(workingFolder).toStdWString();
    // The answer is not looked at, as the tool never did.
    ShellExecuteW(hwnd, L"open", file.c_str(), nullptr, folder.empty() ? nullptr : folder.c_str(), showMode);
}
#endif

class ProgressWindow::Window : public QWidget {
public:
    Window() {
        setObjectName(QStringLiteral("frmProgress"));
        setWindowTitle(kAppTitle);
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowCloseButtonHint);
        auto* layout = new QVBoxLayout(this);
        caption = new QLabel(this);
        caption->setObjectName(QStringLiteral("lblCaption"));
        bar = new QProgressBar(this);
        bar->setObjectName(QStringLiteral("barProgress"));
        bar->setRange(0, 1000);
        bar->setTextVisible(false);
        bar->setMinimumWidth(320);
        cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
        cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        buttons->addWidget(cmdCancel);
        layout->addWidget(caption);
        layout->addWidget(bar);
        layout->addLayout(buttons);
        QObject::connect(cmdCancel, &QPushButton::clicked, [this] { cancelled = true; });
    }
    QLabel* caption;
    QProgressBar* bar;
    QPushButton* cmdCancel;
    bool cancelled = false;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape) {
            cancelled = true;
            return;
        }
        QWidget::keyPressEvent(event);
    }
    // The close box asks to cancel; the window goes when the start-up has ended.
    void closeEvent(QCloseEvent* event) override {
        cancelled = true;
        event->ignore();
    }
};

ProgressWindow::ProgressWindow()
    : m_window(std::make_unique<Window>()) {}

ProgressWindow::~ProgressWindow() = default;

QWidget* ProgressWindow::window() const {
    return m_window.get();
}

bool ProgressWindow::cancelled() const {
    return m_window->cancelled;
}

namespace {

// Lets through the input of one window only.
class InputOnlyFor : public QObject {
public:
    explicit InputOnlyFor(const QWidget* window)
        : m_window(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!isInput(event->type())) {
            return false;
        }
        const auto* widget = qobject_cast<const QWidget*>(watched);
        return widget && widget->window() != m_window;
    }

private:
    static bool isInput(QEvent::Type type) {
        switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            return true;
        default:
            return false;
        }
    }

    const QWidget* m_window;
};

// Paints, lets the window system show the window and the person press its Cancel; runs none of
// the tool's own handlers (no timer, no file watch, no input to another window).
void paintAndCancelOnly(const QWidget* window) {
    InputOnlyFor filter(window);
    qApp->installEventFilter(&filter);
    QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers | QEventLoop::X11ExcludeTimers);
    qApp->removeEventFilter(&filter);
}

// Paints and lets the window system show what changed; input waits until the tool runs again.
void paintOnly() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers |
                                    QEventLoop::X11ExcludeTimers);
}

} // namespace

void ProgressWindow::show() {
    m_window->adjustSize();
    m_window->show();
    m_window->raise();
    paintAndCancelOnly(m_window.get());
}

void ProgressWindow::update(int permille, const QString& caption) {
    m_window->caption->setText(caption);
    m_window->bar->setValue(permille);
    m_window->repaint();
    paintAndCancelOnly(m_window.get());
}

void ProgressWindow::hide() {
    m_window->hide();
}

class QtWaitWindow::Window : public QDialog {
public:
    Window() {
        setObjectName(QStringLiteral("frmWaiting"));
        setWindowTitle(kAppTitle);
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        setWindowModality(Qt::ApplicationModal);
        auto* layout = new QVBoxLayout(this);
        caption = new QLabel(this);
        caption->setTextFormat(Qt::PlainText);
        cancel = new QPushButton(QStringLiteral("Cancel"), this);
        cancel->setObjectName(QStringLiteral("cmdCancel"));
        layout->addWidget(caption);
        layout->addWidget(cancel, 0, Qt::AlignRight);
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    }
    // Cancel, Escape and the window's close box all ask to give the wait up.
    void reject() override { cancelled = true; }
    QLabel* caption;
    QPushButton* cancel;
    bool cancelled = false;
};

QtWaitWindow::QtWaitWindow()
    : m_window(std::make_unique<Window>()) {}

QtWaitWindow::~QtWaitWindow() {
    end();
}

QWidget* QtWaitWindow::window() const {
    return m_window.get();
}

QString QtWaitWindow::caption(const QString& file) {
    return QStringLiteral("Waiting for another program that is writing ") + file + QStringLiteral("...");
}

void QtWaitWindow::begin(const QString& file) {
    end();
    m_waiting = true;
    m_startMs = StartupProgress::steadyClock();
    m_window->cancelled = false;
    m_window->caption->setText(caption(file));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    paintOnly();
}

bool QtWaitWindow::cancelPressed() {
    if (!m_waiting) {
        return false;
    }
    if (m_window->isVisible()) {
        // Only the modal window takes input; ACT!'s events and the timers wait until it is over.
        QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers | QEventLoop::X11ExcludeTimers);
    } else if (StartupProgress::steadyClock() - m_startMs >= kShowAfterMs) {
        m_window->adjustSize();
        m_window->show();
        m_window->raise();
        m_window->activateWindow();
        paintOnly();
    } else {
        paintOnly();
    }
    return m_window->cancelled;
}

void QtWaitWindow::end() {
    if (!m_waiting) {
        return;
    }
    m_waiting = false;
    m_window->hide();
    QApplication::restoreOverrideCursor();
}

std::optional<QString> QtFileDialogs::openFile(QObject* owner, const QString& initialFolder,
                                               const QString& initialName, const QString& filter) {
    QFileDialog dialog(ownerWidget(owner));
    dialog.setFileMode(QFileDialog::AnyFile); // a file that does not exist yet may be named
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter(qtFilter(filter));
    if (!initialFolder.isEmpty()) {
        dialog.setDirectory(QDir::fromNativeSeparators(initialFolder));
    }
    if (!initialName.isEmpty()) {
        dialog.selectFile(initialName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

std::optional<QString> QtFileDialogs::browseForFolder(QObject* owner) {
    const QString folder = QFileDialog::getExistingDirectory(ownerWidget(owner), QString(), QDir::rootPath());
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return QDir::toNativeSeparators(folder);
}

std::optional<QString> QtFileDialogs::saveFile(QObject* owner, const QString& initialPath,
                                               const QString& filter) {
    QFileDialog dialog(ownerWidget(owner));
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(qtFilter(filter));
    const QString firstPattern = filter.section(QLatin1Char('|'), 1, 1).section(QLatin1Char(';'), 0, 0);
    if (firstPattern.startsWith(QLatin1String("*."))) {
        dialog.setDefaultSuffix(firstPattern.mid(2));
    }
    if (!initialPath.isEmpty()) {
        dialog.selectFile(QDir::fromNativeSeparators(initialPath));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

} // namespace qm
