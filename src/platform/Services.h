#pragma once

// The platform services every road of the tool goes through. The application wires the real
// ones (PlatformCore.h, PlatformGui.h); tests wire the doubles of tests/support.

#include <QString>

#include <optional>
#include <vector>

class QObject;

namespace qm {

namespace act {
class ObjectFactory;
}

// The application title: the name in message-box titles, the auxiliary command's name.
inline const QString kAppTitle = QStringLiteral("Quillmark");

// Message-box styles and answers, with the platform's numbers.
enum MsgStyle : int { vbOKOnly = 0, vbYesNo = 4, vbCritical = 16, vbExclamation = 48 };
enum MsgAnswer : int { vbOK = 1, vbCancel = 2, vbYes = 6, vbNo = 7 };

class MessageBox {
public:
    virtual ~MessageBox() = default;
    // Shows `text` (CR line breaks kept) with the buttons and icon of `style`; an empty title
    // means the application title. Returns the button pressed (vbOK, vbYes, vbNo). A box still
    // open when ACT! makes the tool close answers as its Escape button (platform/ModalDialogs.h).
    virtual int show(const QString& text, int style = vbOKOnly, const QString& title = {}) = 0;
};

// Passes every box on to another and counts them: a piece of work that reports by boxes "failed"
// when it showed any.
class CountingMessageBox : public MessageBox {
public:
    explicit CountingMessageBox(MessageBox& box)
        : m_box(box) {}
    int show(const QString& text, int style, const QString& title) override {
        ++shown;
        return m_box.show(text, style, title);
    }
    int shown = 0;

private:
    MessageBox& m_box;
};

// The tool's per-user preferences: application "Quillmark", section "Settings", text values.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::optional<QString> value(const QString& key) const = 0;
    virtual void setValue(const QString& key, const QString& value) = 0;
    // Makes written values durable (before the tool ends at once, for example).
    virtual void sync() {}

    QString value(const QString& key, const QString& fallback) const { return value(key).value_or(fallback); }
};

// The shell's "open" request.
class Shell {
public:
    virtual ~Shell() = default;
    // Opens a document (file path or web address) in the program registered for it. The answer
    // is not looked at; `showMode` is the platform's show command (5: show the window).
    virtual void open(const QString& document, const QString& workingFolder, int showMode,
                      QObject* owner) = 0;
};

// Detects another running copy of the tool for the same user login.
class InstanceGuard {
public:
    virtual ~InstanceGuard() = default;
    // True when another copy runs. The first call of a copy that is alone claims the place.
    virtual bool anotherCopyRuns() = 0;
};

struct VersionInfo {
    int major = 0;
    int minor = 0;
    int revision = 0;
};

// The running executable: its folder, its name, its version.
class AppInfo {
public:
    virtual ~AppInfo() = default;
    // Folder of the executable, native separators, no final separator except at a root.
    virtual QString programFolder() const = 0;
    // File name of the executable without its extension.
    virtual QString exeName() const = 0;
    virtual VersionInfo version() const = 0;
    // The folder under which the settings files lie by default (in its "Settings"): the program
    // folder, or for an installed program, whose folder a login may not write, the login's own
    // data folder.
    virtual QString settingsHome() const { return programFolder(); }
};

// Ends the tool at once: no further handler runs.
class Terminator {
public:
    virtual ~Terminator() = default;
    virtual void endNow(int exitCode = 0) = 0;
};

// The file-open dialog and the folder browser.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // `filter` in the form "Description|pattern". nullopt when the user cancels.
    virtual std::optional<QString> openFile(QObject* owner, const QString& initialFolder,
                                            const QString& initialName, const QString& filter) = 0;
    // Only file-system folders can be chosen. nullopt when the user cancels.
    virtual std::optional<QString> browseForFolder(QObject* owner) = 0;
    // The file-save dialog: a new or existing file (replacing one is confirmed in the dialog).
    // `filter` as for openFile; its first pattern's extension is added to a name without one.
    // nullopt when the user cancels.
    virtual std::optional<QString> saveFile(QObject* owner, const QString& initialPath,
                                            const QString& filter) = 0;
};

// What the administrator sees while a read or write of a settings file waits for another program
// that holds it: the wait cursor at once and, once the wait has lasted a second, a small window
// "Waiting for another program that is writing <file>..." with a Cancel button. Nothing else of
// the tool runs meanwhile.
class WaitIndicator {
public:
    virtual ~WaitIndicator() = default;
    virtual void begin(const QString& file) = 0;
    // Asked again and again while the wait goes on (every few tens of milliseconds): true once
    // the administrator has asked to give the wait up.
    virtual bool cancelPressed() = 0;
    virtual void end() = 0;
};

// Waits shown nowhere and never given up: for work without a window (the command line).
class QuietWait : public WaitIndicator {
public:
    void begin(const QString& /*file*/) override {}
    bool cancelPressed() override { return false; }
    void end() override {}
};

// One setting that was changed both in this window and, since the window read it, by another
// administrator in the file: what it is (a user's name, "Allow editing"), the other's value, this
// window's value.
struct MergeConflict {
    QString what;
    QString theirs;
    QString mine;
};

// Asks the administrator to settle such conflicts before a Save or a Close writes anything.
class ConflictChooser {
public:
    virtual ~ConflictChooser() = default;
    // `text` says where the conflicts are. Returns one choice per conflict, true to keep this
    // window's value and false to take the other's; nullopt to go back with nothing written.
    virtual std::optional<std::vector<bool>> choose(QObject* owner, const QString& text,
                                                    const std::vector<MergeConflict>& conflicts) = 0;
};

// Settles nothing: every question goes back, so nothing is written over another's change. For
// work that shows no window.
class GoBackChooser : public ConflictChooser {
public:
    std::optional<std::vector<bool>> choose(QObject* /*owner*/, const QString& /*text*/,
                                            const std::vector<MergeConflict>& /*conflicts*/) override {
        return std::nullopt;
    }
    static GoBackChooser& instance() {
        static GoBackChooser chooser;
        return chooser;
    }
};

// Everything the tool asks of its platform, wired once by main() or by a test.
struct Services {
    MessageBox& messageBox;
    SettingsStore& settings;
    Shell& shell;
    InstanceGuard& instance;
    AppInfo& app;
    Terminator& terminator;
    FileDialogs& dialogs;
    act::ObjectFactory& act;
    WaitIndicator& wait;
    ConflictChooser& conflicts = GoBackChooser::instance();
};

} // namespace qm
