// One administrator's tool in a process of its own, for the tests of two administrators at once:
// the main window on the running ACT! stand-in (its home in ACT_STANDIN_HOME), with the settings
// files named on the command line, driven by commands read one per line from the standard input.
// Each command is answered by one line: "ok" and what was asked for.
//
//     tool_admin <users file> <settings folder>
//     global <row> <right>     the chooser over a row of the global list, and a right picked in it
//     field <label>            a field selected
//     pick <row> <right>       the same over a row of the field's list
//     save | close             the button pressed; answers the window's state and the boxes shown
//     quit

#include "EditorWindow.h"
#include "act/standin/StandinBackend.h"
#include "act/standin/StandinSession.h"

#include <QApplication>
#include <QLabel>

#include <iostream>
#include <string>

using namespace qm;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3)
        return 2;
    test::TestServices t;
    const std::unique_ptr<act::ObjectFactory> act =
        act::standin::makeFactory(QFile::decodeName(qgetenv(act::standin::kHomeVariable)));
    Services services{t.messageBox, t.settings, t.shell, t.instance, t.app,
                      t.terminator, t.dialogs,  *act,    t.wait,     t.conflicts};
    t.settings.values = {{"UsersPath", QString::fromLocal8Bit(argv[1])},
                         {"ListPath", QString::fromLocal8Bit(argv[2])},
                         {"Expanded", "True"}};
    Form1 form(services);
    form.Form_Load();
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return 3;
    const test::WindowDriver w{&form};
    std::cout << "ready" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
        const QStringList words = QString::fromStdString(line).split(' ');
        const QString command = words.value(0);
        QString answer;
        if (command == "global" || command == "pick") {
            QTreeWidget* list = command == "global" ? w.c().lvwUsers : w.c().lvwSpecialUsers;
            w.give(list, words.value(1).toInt(), words.value(2));
            answer = test::WindowDriver::rights(list);
        } else if (command == "field") {
            w.select(words.mid(1).join(' '));
            answer = test::WindowDriver::rights(w.c().lvwSpecialUsers);
        } else if (command == "save" || command == "close") {
            t.messageBox.clear();
            test::click(command == "save" ? w.c().cmdSave : w.c().cmdClose);
            answer = (form.isVisible() ? "open|" : "closed|") + w.c().lblStatus->text() + "|" +
                     t.messageBox.boxes().join(';');
        } else if (command == "quit") {
            break;
        }
        QCoreApplication::processEvents();
        std::cout << "ok " << answer.toStdString() << std::endl;
    }
    return 0;
}
