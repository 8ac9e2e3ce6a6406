// Every control of every window answers the mouse where it is drawn: a click at its centre, and
// at the indicator of a check box or option button, reaches that control and no other laid over
// it. Run at 1x and again at twice the scale (test_hittest_2x). With QM_RENDER_DIR set, each
// window is also written there as a PNG. And the edges a person sees: the dialogs' frames, rows
// in line, the lists' headers.

#include "Pointer.h"
#include "TestServices.h"
#include "app/Form1.h"
#include "app/frmAbout.h"
#include "integrate/frmIntegrate.h"
#include "platform/PlatformGui.h"
#include "settings/frmLocations.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

using namespace qm;

namespace {

// The named controls of `window` that a person can see, each with the points a click must reach
// it at: "cmdSave centre", "chkEdit indicator".
QStringList misses(QWidget* window) {
    QStringList out;
    const QRect inside = window->rect();
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const QString name = w->objectName();
        if (name.isEmpty() || name.startsWith("qt_") || !w->isVisibleTo(window))
            continue;
        QList<std::pair<QString, QPoint>> points{{"centre", test::centreOf(w)}};
        if (auto* button = qobject_cast<QAbstractButton*>(w);
            button && (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)))
            points.append({"indicator", test::indicatorOf(button).center()});
        for (const auto& [where, point] : points) {
            if (!inside.contains(test::inWindow(w, point)))
                continue; // beyond the window's edge (the collapsed main window's panel)
            if (!test::reaches(w, point))
                out << QString("%1 %2 (under %3)")
                           .arg(name, where, test::widgetUnder(w, point)->objectName());
        }
    }
    return out;
}

} // namespace

class TestHitTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyControl_data() {
        test::columns<QString>("window");
        for (const char* w : {"main window", "main window collapsed", "locations", "integration", "About",
                              "start-up progress"})
            test::row(w, QString(w));
    }

    void everyControl() {
        auto [which] = test::fetch<QString>();
        test::TestServices t;
        t.actState.slots = {{28, "Phone", 3}, {31, "Fax", 3}};
        t.actState.addUsers(3);
        t.settings.values = {{"Expanded", which == "main window" ? "True" : "False"}, {"LastField", "Fax"}};
        Form1 form(t.services);
        bool restart = false;
        std::unique_ptr<QWidget> dialog;
        ProgressWindow progress;
        QWidget* window = nullptr;
        if (which.startsWith("main window")) {
            form.Form_Load();
            window = &form;
        } else if (which == "locations") {
            dialog = std::make_unique<frmLocations>(t.services, &form);
        } else if (which == "integration") {
            dialog = std::make_unique<frmIntegrate>(t.services, &form, MainWindowLink{restart, [](int&) {}});
        } else if (which == "About") {
            dialog = std::make_unique<frmAbout>(t.services, &form);
        } else {
            progress.show();
            progress.update(400, StartupProgress::caption(ProgressStep::Users));
            window = progress.window();
        }
        if (dialog)
            window = dialog.get();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        if (which == "main window") // the panel as it is used: a field selected, its controls enabled
            QVERIFY(form.controls().chkEdit->isEnabled() && form.controls().optUsers[1]->isEnabled());
        QCOMPARE(misses(window).join("; "), QString());
        // QM_RENDER_DIR=folder: each window as drawn, to look at.
        if (const QString folder = qEnvironmentVariable("QM_RENDER_DIR"); !folder.isEmpty())
            QVERIFY(window->grab().save(QDir(folder).filePath(which + ".png")));
    }

    // The fixed-size dialogs offer a close box, no minimise or maximise.
    void fixedDialogFrames() {
        test::TestServices t;
        bool restart = false;
        frmLocations locations(t.services, nullptr);
        frmIntegrate integrate(t.services, nullptr, MainWindowLink{restart, [](int&) {}});
        frmAbout about(t.services, nullptr);
        for (const QWidget* d : std::initializer_list<const QWidget*>{&locations, &integrate, &about}) {
            const Qt::WindowFlags flags = d->windowFlags();
            QVERIFY2(flags.testFlag(Qt::CustomizeWindowHint) && flags.testFlag(Qt::WindowCloseButtonHint) &&
                         !flags.testFlag(Qt::WindowMinimizeButtonHint) &&
                         !flags.testFlag(Qt::WindowMaximizeButtonHint),
                     qPrintable(d->objectName()));
            QCOMPARE(d->minimumSize(), d->maximumSize());
        }
        // The two rows of the locations dialog stand one above the other.
        const auto left = [&](const QWidget* w) { return w->mapTo(&locations, QPoint(0, 0)).x(); };
        const auto right = [&](const QWidget* w) { return left(w) + w->width(); };
        QCOMPARE(QList<int>({left(locations.txtFolder), left(locations.cmdBrowseFolder),
                             right(locations.cmdBrowseFolder), right(locations.fraField)}),
                 QList<int>({left(locations.txtUsersFile), left(locations.cmdBrowse),
                             right(locations.cmdBrowse), right(locations.fraUsers)}));
    }

    // The rights lists' headers run to the lists' right edge: the room right of the last column
    // is drawn as the header is, not left blank.
    void headersToTheEdge() {
        test::TestServices t;
        Form1 form(t.services);
        for (QTreeWidget* list : {form.controls().lvwUsers, form.controls().lvwSpecialUsers}) {
            QHeaderView* header = list->header();
            QVERIFY(header->length() < header->width()); // there is room right of "Rights"
            const QImage drawn = header->grab().toImage();
            const QColor section = drawn.pixelColor(header->sectionViewportPosition(1) + 3, 3);
            const QColor beyond = drawn.pixelColor(header->width() - 4, 3);
            QCOMPARE(beyond, section);
        }
    }
};

QTEST_MAIN(TestHitTest)
#include "tst_hittest.moc"
