// The real open-file dialog of QtDialogs, answered through its name box: a typed name comes back
// whether or not the file exists, under the title and filter asked for; Cancel gives nothing.
#include "platform/dialogs.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

using namespace velmora;

namespace {

// Enters `name` in the next modal file dialog's name box and presses Return (empty: presses Escape);
// records the dialog's title and filters.
struct Typist {
    QString title;
    QStringList filters;
    void Answer(const QString& name)
    {
        QTimer::singleShot(0, [this, name] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            title = dialog->windowTitle();
            filters = dialog->nameFilters();
            auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
            if (name.isEmpty() || !edit) {
                QTest::keyClick(dialog, Qt::Key_Escape);
                return;
            }
            // Set rather than typed key by key, so no completion pops up to take the Return.
            edit->setFocus();
            edit->setText(name);
            QTest::keyClick(edit, Qt::Key_Return);
        });
    }
};

} // namespace

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    void openReturnsTypedNamesThatNeedNotExist_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("exists");
        QTest::newRow("an existing file") << "there.dcm" << true;
        QTest::newRow("a missing DICOM name") << "missing.dcm" << false;
        QTest::newRow("a missing picture name") << "missing.JPG" << false;
        QTest::newRow("a name without an extension") << "nothing" << false;
    }

    void openReturnsTypedNamesThatNeedNotExist()
    {
        QFETCH(QString, name);
        QFETCH(bool, exists);
        QTemporaryDir dir;
        const QString path = dir.path() + "/" + name;
        if (exists) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        Typist typist;
        typist.Answer(path);
        QtDialogs dialogs;
        QCOMPARE(dialogs.OpenFile(nullptr, "Import Image", "ALL (*)"), path);
        QCOMPARE(typist.title, QString("Import Image"));
        QCOMPARE(typist.filters, QStringList { "ALL (*)" });
        QCOMPARE(QFile::exists(path), exists);
    }

    void cancelReturnsNothing()
    {
        Typist typist;
        typist.Answer(QString());
        QtDialogs dialogs;
        QCOMPARE(dialogs.OpenFile(nullptr, "Import Image", "ALL (*)"), QString());
        QCOMPARE(typist.title, QString("Import Image"));
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_qtest.moc"
