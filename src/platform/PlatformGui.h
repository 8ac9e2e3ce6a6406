#pragma once

// The real platform services that need a display.

#include "platform/Progress.h"
#include "platform/Services.h"

#include <cstdint>
#include <functional>
#include <memory>

class QApplication;
class QWidget;

namespace qm {

class QtMessageBox : public MessageBox {
public:
    int show(const QString& text, int style, const QString& title) override;
};

// Documents open in the program the desktop registers for them; an ACT! database file opens
// in the ACT! program (here the stand-in `act-standin`, beside the executable), as ACT!'s own
// database files do on Windows: which files are ACT! databases `isActDatabase` says, from the
// file itself (the name's extension plays no part). A web address ("scheme://...") goes to the
// browser; a file that does not exist opens nothing.
class DesktopShell : public Shell {
public:
    using DatabaseTest = std::function<bool(const QString& path)>;
    // No test (an empty function): no file is taken for an ACT! database.
    DesktopShell(QString actProgram, DatabaseTest isActDatabase);
    void open(const QString& document, const QString& workingFolder, int showMode, QObject* owner) override;

private:
    QString m_actProgram;
    DatabaseTest m_isActDatabase;
};

#ifdef Q_OS_WIN
// The Windows shell's "open" (ShellExecuteW), with the working folder, show mode and owner window
// given: the program registered for the document opens it.
class WindowsShell : public Shell {
public:
    void open(const QString& document, const QString& workingFolder, int showMode, QObject* owner) override;
};
#endif

// The start-up's progress: a small window with a caption, a bar and Cancel, repainted as the
// start-up goes on. Cancel, Escape and the window's close box cancel the start-up. Only painting
// and the window's own input are let through meanwhile: no timer, no file watch, no input to
// another window, so nothing else of the tool runs in the middle of its start-up.
class ProgressWindow : public ProgressDisplay {
public:
    ProgressWindow();
    ~ProgressWindow() override;
    void show() override;
    void update(int permille, const QString& caption) override;
    void hide() override;
    bool cancelled() const override;
    QWidget* window() const;

private:
    class Window;
    std::unique_ptr<Window> m_window;
};

// The wait cursor while a settings file is waited for, and after kShowAfterMs the window
// "frmWaiting" saying which file, with a Cancel button. The window is application-modal: while
// it is up, only it takes the pointer and the keys. Before it is up only painting goes on, and
// never timers or ACT!'s events, so nothing else of the tool runs in the middle of a read or a
// write.
class QtWaitWindow : public WaitIndicator {
public:
    static constexpr int kShowAfterMs = 1000;

    QtWaitWindow();
    ~QtWaitWindow() override;
    void begin(const QString& file) override;
    bool cancelPressed() override;
    void end() override;
    QWidget* window() const;
    // "Waiting for another program that is writing <file>..."
    static QString caption(const QString& file);

private:
    class Window;
    std::unique_ptr<Window> m_window;
    std::int64_t m_startMs = 0;
    bool m_waiting = false;
};

class QtFileDialogs : public FileDialogs {
public:
    std::optional<QString> openFile(QObject* owner, const QString& initialFolder, const QString& initialName,
                                    const QString& filter) override;
    std::optional<QString> browseForFolder(QObject* owner) override;
    std::optional<QString> saveFile(QObject* owner, const QString& initialPath,
                                    const QString& filter) override;
};

// The application object of the windows. Where the toolkit finds no display to open windows on
// (it would end the program with its own abort and a page of its messages), `noDisplay` is
// written to the error output as one line instead, and the program ends with `exitCode`. The
// toolkit's messages while it looks for a display are held back, and passed on once it has one.
std::unique_ptr<QApplication> openApplication(int& argc, char** argv, const QString& noDisplay, int exitCode);

// Message text as the tool writes it (CR line breaks) turned into the lines a box shows.
QString displayText(const QString& text);
// "Text|*.txt;*.log" turned into Qt's filter form "Text (*.txt *.log)"; a description that ends
// with its patterns in parentheses already ("Data file (*.dat)|*.dat") stays as it is.
QString qtFilter(const QString& vbFilter);

} // namespace qm
