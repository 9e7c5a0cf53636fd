// The "Annotations Text" dialog as QtUserPrompts shows it: its template size and colours, the
// edit starting with the given text and keeping at most 259 characters, OK and Cancel.
#include "app/controls.h"
#include "app/user_prompts.h"

#include <QDialog>
#include <QtTest>
#include <functional>

using namespace velmora;

namespace {

// Runs `answer` on the modal dialog once it is open.
void WhenOpen(QObject* context, std::function<void(QDialog*)> answer)
{
    QTimer::singleShot(0, context, [answer] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        answer(dialog);
    });
}

QWidget* ById(QDialog* dialog, int id)
{
    for (QWidget* child : dialog->findChildren<QWidget*>())
        if (ControlId(child) == id)
            return child;
    return nullptr;
}

} // namespace

class AnnotationTextDialogTest : public QObject {
    Q_OBJECT

private slots:
    void templateLookAndOk()
    {
        QtUserPrompts prompts;
        QSize size;
        QColor background, editBackground;
        int maxLength = 0;
        QColor okNormal, okActive;
        WhenOpen(this, [&](QDialog* dialog) {
            size = dialog->size();
            background = dialog->palette().color(QPalette::Window);
            auto* edit = qobject_cast<ColourEdit*>(ById(dialog, 348));
            QVERIFY(edit);
            QVERIFY(edit->text().isEmpty());
            editBackground = edit->EffectiveBackground();
            maxLength = edit->maxLength();
            auto* ok = qobject_cast<IconButton*>(ById(dialog, 1));
            QVERIFY(ok && ById(dialog, 2));
            okNormal = ok->Colour(IconButton::BACK_NORMAL);
            okActive = ok->Colour(IconButton::BACK_ACTIVE);
            QTest::keyClicks(edit, "Lesion 1");
            QTest::mouseClick(ok, Qt::LeftButton);
        });
        QString text;
        QVERIFY(prompts.AskAnnotationText(nullptr, text));
        QCOMPARE(text, QString("Lesion 1"));
        QCOMPARE(size, QSize(186 * 6 / 4, 50 * 13 / 8));
        QCOMPARE(background, QColor(Qt::black));
        QCOMPARE(editBackground, QColor(Qt::white));
        QCOMPARE(maxLength, 259);
        QCOMPARE(okNormal, QColor(Qt::white));
        QCOMPARE(okActive, QColor(Qt::black));
    }

    void longTextKeeps259Characters()
    {
        QtUserPrompts prompts;
        WhenOpen(this, [](QDialog* dialog) {
            auto* edit = qobject_cast<QLineEdit*>(ById(dialog, 348));
            edit->setText(QString(300, 'x'));
            QTest::keyClick(edit, Qt::Key_Return); // OK is the default button
        });
        QString text;
        QVERIFY(prompts.AskAnnotationText(nullptr, text));
        QCOMPARE(text, QString(259, 'x'));
    }

    void cancel()
    {
        QtUserPrompts prompts;
        WhenOpen(this, [](QDialog* dialog) {
            QTest::keyClicks(ById(dialog, 348), "abc");
            QTest::mouseClick(qobject_cast<QPushButton*>(ById(dialog, 2)), Qt::LeftButton);
        });
        QString text = "kept";
        QVERIFY(!prompts.AskAnnotationText(nullptr, text));
        QCOMPARE(text, QString("kept"));
    }
};

QTEST_MAIN(AnnotationTextDialogTest)
#include "annotation_text_dialog_qtest.moc"
