// The real open-file dialog of QtDialogs, answered through its name box: a typed name comes back
// whether or not the file exists, under the title and filter asked for; Cancel gives nothing.
#include "platform/dialogs.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace velmora;

namespace {

// Enters `name` in the next modal file dialog's name box and presses Return (empty: presses Escape);
// records the dialog's title and filters.
struct Typist {
    QString title;
    QStringList filters;
    QString question; // the text of a message box the dialog asked, answered Yes
    void Answer(const QString& name)
    {
        QTimer::singleShot(0, [this, name] {
            // A question the dialog asks after the Return below.
            QTimer::singleShot(0, [this] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    question = box->text();
                    box->button(QMessageBox::Yes)->click();
                }
            });
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

    // A name typed without the filter's extension receives it, and a file of the completed name
    // is replaced only when the user says so; without a filter a name stays as typed.
    void saveCompletesTheExtensionBeforeAskingToReplace_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("returned");
        QTest::addColumn<bool>("asked");
        QTest::newRow("completed to an existing file") << "PNG image (*.png)"
                                                       << "there"
                                                       << "there.png" << true;
        QTest::newRow("completed to a new file") << "PNG image (*.png)"
                                                 << "fresh"
                                                 << "fresh.png" << false;
        QTest::newRow("typed whole") << "PNG image (*.png)"
                                     << "there.png"
                                     << "there.png" << true;
        QTest::newRow("no filter") << ""
                                   << "there"
                                   << "there" << false;
    }

    void saveCompletesTheExtensionBeforeAskingToReplace()
    {
        QFETCH(QString, filter);
        QFETCH(QString, typed);
        QFETCH(QString, returned);
        QFETCH(bool, asked);
        QTemporaryDir dir;
        QFile existing(dir.filePath("there.png"));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.close();
        Typist typist;
        typist.Answer(dir.filePath(typed));
        QtDialogs dialogs;
        QCOMPARE(dialogs.SaveFile(nullptr, "Export Image", filter), dir.filePath(returned));
        QCOMPARE(typist.title, QString("Export Image"));
        QCOMPARE(!typist.question.isEmpty(), asked);
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
