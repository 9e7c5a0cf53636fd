#include "app/main_dialog.h"

#include "app/context_menus.h"
#include "app/controls.h"
#include "app/exam_tree.h"
#include "app/model/exam_filing.h"
#include "app/open_paths.h"
#include "app/reading_aids.h"
#include "app/viewer_commands.h"
#include "canvas/splash_dialog.h"
#include "platform/desktop.h"
#include "toolkit/data_set.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QTimerEvent>
#include <QWheelEvent>
#include <QWindow>
#include <cmath>
#include <limits>

namespace velmora {

namespace {

const QColor kBlack(0, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kCyan(0, 255, 255);

// The lowest zoom a step can reach: the tiles would otherwise be asked to show an image
// shrunk to nothing (ten steps of 0.1 from 1.0 end at about 1.4e-16 in double arithmetic).
constexpr double kMinimumZoom = 0.1;

// Text of the fps box as an unsigned 32-bit decimal (blanks around it allowed).
bool ParseUnsigned(const QString& text, unsigned& value)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return false;
    unsigned long long number = 0;
    for (QChar c : trimmed) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + static_cast<unsigned>(c.unicode() - '0');
        if (number > std::numeric_limits<unsigned>::max())
            return false;
    }
    value = static_cast<unsigned>(number);
    return true;
}

} // namespace

QRect MainDialog::DialogUnits(int x, int y, int width, int height)
{
    return QRect(x * 6 / 4, y * 13 / 8, width * 6 / 4, height * 13 / 8);
}

MainDialog::MainDialog(QString programFolder, std::unique_ptr<ImageArea> area,
    std::unique_ptr<UserPrompts> prompts, QWidget* parent)
    : QDialog(parent)
    , m_programFolder(std::move(programFolder))
    , m_area(std::move(area))
    , m_prompts(std::move(prompts))
{
    if (!m_area)
        m_area = MakeTileGridArea(*this);
    if (!m_prompts)
        m_prompts = std::make_unique<QtUserPrompts>();
    setWindowTitle(" Velmora - Image Preview - ");
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
        | Qt::WindowCloseButtonHint);
    QFont dialogFont("MS Sans Serif");
    dialogFont.setPixelSize(11);
    setFont(dialogFont);
    const QRect client = DialogUnits(0, 0, 612, 393);
    resize(client.size());
    CreateControls();
    m_menus = std::make_unique<ContextMenus>(*this);
    new PathDrops(*this);
    // Features add their commands here, after the viewer's own.
    AddViewerCommands(m_commands, *this);
    // Owned as a child; the image menu's items act on the tile the menu was opened over.
    m_readingAids = new ReadingAids(*this, *m_area, *m_tree, [this] { return m_menus->ActingTile(); });
    AddReadingAidCommands(m_commands, *m_readingAids);
}

MainDialog::~MainDialog()
{
    m_menus.reset();
    qApp->removeEventFilter(this);
    if (m_tree)
        m_tree->Clear();
    if (m_pictures)
        m_pictures->ClearPictureList();
}

IconButton* MainDialog::Button(int id) const
{
    return qobject_cast<IconButton*>(Control(id));
}

void MainDialog::CreateControls()
{
    struct ButtonRow {
        int id;
        IconButton::Kind kind;
        const char* text;
        int x, y, w, h;
        bool visible;
    };
    using K = IconButton::Kind;
    const ButtonRow buttons[] = {
        { ID_LOAD, K::Push, "Load", 0, 0, 25, 15, true },
        { ID_BROWSE, K::Push, "Browse", 26, 0, 25, 15, true },
        { ID_WINDOW_LEVEL, K::Check, "W Level", 61, 0, 25, 15, true },
        { ID_INVERT, K::Check, "Invert", 87, 0, 25, 15, true },
        { ID_ZOOM_IN, K::Check, "Zoom in", 116, 0, 25, 15, true },
        { ID_ZOOM_OUT, K::Check, "Zoom out", 168, 0, 25, 15, true },
        { ID_REFLECT_Y, K::Check, "ReflectY", 198, 0, 25, 15, true },
        { ID_REFLECT_X, K::Check, "ReflectX", 224, 0, 25, 15, true },
        { ID_CINE, K::Check, "Cine", 250, 0, 25, 15, true },
        { ID_RESET, K::Check, "Reset", 319, 0, 25, 15, true },
        { ID_TILE1, K::Check, "Tile1", 345, 0, 25, 15, true },
        { ID_TILE4, K::Check, "Tile4", 371, 0, 25, 15, true },
        { ID_PREVIOUS, K::Check, "Previous", 397, 0, 14, 15, true },
        { ID_NEXT, K::Check, "Next", 412, 0, 14, 15, true },
        { ID_LOAD_ALL, K::Check, "Load All", 432, 0, 25, 15, true },
        { ID_APPLY_ALL, K::Check, "Apply All", 458, 0, 25, 15, false },
        { ID_RULER, K::Check, "Dist", 1, 16, 25, 15, false },
        { ID_ANGLE, K::Check, "Angle", 27, 16, 25, 15, false },
        { ID_TEXT, K::Check, "Text", 53, 16, 25, 15, false },
        { ID_ARROW, K::Check, "Arrow", 79, 16, 25, 15, false },
        { ID_SELECT, K::Check, "Select", 105, 16, 25, 15, false },
        { ID_SAVE_IMAGE, K::Push, "Save Image", 73, 361, 74, 14, false },
        { ID_OK, K::DefaultPush, "X", 74, 376, 74, 14, false },
    };
    for (const ButtonRow& row : buttons) {
        auto* button = new IconButton(row.id, row.kind, row.text, this);
        button->setGeometry(DialogUnits(row.x, row.y, row.w, row.h));
        button->setVisible(row.visible);
        button->setEnabled(row.visible);
        m_controls.insert(row.id, button);
        connect(button, &QAbstractButton::clicked, this, [this, id = row.id] { RunCommand(id); });
    }

    struct LabelRow {
        int id;
        const char* text;
        int x, y, w, h;
        bool visible, enabled;
    };
    const LabelRow labels[] = {
        { ID_ZOOM_LABEL, "", 144, 0, 21, 9, true, true },
        { ID_FPS_LABEL, "", 276, 0, 29, 9, false, true },
        { ID_CINE_CAPTION, "cine", 401, 20, 27, 10, false, false },
        { ID_ZOOM_CAPTION, "zoom", 462, 22, 27, 10, false, false },
        { ID_FPS_CAPTION, " (fps)", 481, 0, 8, 8, false, false },
        { ID_DICOM_CAPTION, " Exam List - DICOM", 498, 32, 113, 13, true, true },
        { ID_JPEG_CAPTION, " Exam List - JPEG", 497, 252, 113, 13, true, true },
    };
    for (const LabelRow& row : labels) {
        auto* label = new ColourLabel(row.id, row.text, this);
        label->setGeometry(DialogUnits(row.x, row.y, row.w, row.h));
        label->setVisible(row.visible);
        label->setEnabled(row.enabled);
        m_controls.insert(row.id, label);
    }

    m_zoomBox = new ColourEdit(ID_ZOOM_BOX, this);
    m_zoomBox->setGeometry(DialogUnits(145, 9, 23, 12));
    m_zoomBox->setReadOnly(true);
    m_zoomBox->setAlignment(Qt::AlignCenter);
    m_controls.insert(ID_ZOOM_BOX, m_zoomBox);

    m_fpsBox = new ColourEdit(ID_FPS_BOX, this);
    m_fpsBox->setGeometry(DialogUnits(279, 9, 23, 12));
    m_fpsBox->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_controls.insert(ID_FPS_BOX, m_fpsBox);

    auto* fps = new QLabel("fps", this);
    SetControlId(fps, ID_FPS_TEXT);
    fps->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    fps->setGeometry(DialogUnits(303, 9, 10, 12));
    m_controls.insert(ID_FPS_TEXT, fps);

    auto* separator = new QWidget(this);
    SetControlId(separator, ID_SEPARATOR);
    separator->setGeometry(DialogUnits(1, 31, 610, 1));
    separator->setAutoFillBackground(true);
    separator->setPalette(QPalette(kWhite, kWhite));
    separator->hide();
    m_controls.insert(ID_SEPARATOR, separator);

    m_tree = new ExamTree(ID_EXAM_TREE, this);
    m_tree->setGeometry(DialogUnits(496, 45, 115, 207));
    m_controls.insert(ID_EXAM_TREE, m_tree);
    connect(m_tree, &ExamTree::SelectionChanged, this, &MainDialog::OnTreeSelectionChanged);
    connect(m_tree, &ExamTree::Clicked, this, &MainDialog::OnTreeClicked);

    m_pictures = new PictureList(ID_PICTURE_LIST, this);
    m_pictures->setGeometry(DialogUnits(496, 265, 115, 86));
    m_controls.insert(ID_PICTURE_LIST, m_pictures);
    connect(m_pictures, &QTreeWidget::itemClicked, this, [this] { OnPictureClicked(); });

    auto* logo = new QLabel(this);
    SetControlId(logo, ID_LOGO);
    logo->setGeometry(DialogUnits(521, 355, 73, 37));
    const QImage logoImage = LoadBitmapResource(170);
    if (!logoImage.isNull()) {
        logo->setPixmap(QPixmap::fromImage(logoImage));
        logo->resize(logoImage.size());
    }
    m_controls.insert(ID_LOGO, logo);

    // Tab moves through the controls in the template's order: the zoom box between Zoom in and
    // Zoom out, the fps box after Cine.
    const int templateOrder[] = { ID_LOAD, ID_BROWSE, ID_WINDOW_LEVEL, ID_INVERT, ID_ZOOM_IN, ID_ZOOM_BOX,
        ID_ZOOM_OUT, ID_REFLECT_Y, ID_REFLECT_X, ID_CINE, ID_FPS_BOX, ID_RESET, ID_TILE1, ID_TILE4,
        ID_PREVIOUS, ID_NEXT, ID_LOAD_ALL, ID_APPLY_ALL, ID_RULER, ID_ANGLE, ID_TEXT, ID_ARROW, ID_SELECT,
        ID_EXAM_TREE, ID_PICTURE_LIST, ID_SAVE_IMAGE, ID_OK };
    for (size_t k = 1; k < std::size(templateOrder); ++k)
        setTabOrder(Control(templateOrder[k - 1]), Control(templateOrder[k]));
}

void MainDialog::SetUpButton(int id, int bitmap1, int bitmap2, const char* tooltip)
{
    IconButton* button = Button(id);
    if (!button)
        return;
    const bool bottom = id == ID_OK || id == ID_SAVE_IMAGE;
    button->SetBitmaps(bitmap1, bottom ? kCyan : kWhite, bitmap2, bottom ? kBlack : kWhite);
    if (bottom) {
        button->SetPressedStyle(1);
        button->SetColour(IconButton::BACK_ACTIVE, kBlack);
        button->SetColour(IconButton::BACK_NORMAL, kBlack);
    }
    button->SizeToContent();
    button->SetFlatBorder(false);
    if (tooltip)
        button->SetTooltipText(tooltip, true);
}

void MainDialog::Initialise()
{
    if (m_initialised)
        return;
    m_initialised = true;

    // 1. Brush and bold font.
    m_boldFont = QFont("MS Sans Serif");
    m_boldFont.setPixelSize(13);
    m_boldFont.setWeight(QFont::Bold);

    // 2. The tree image list is part of ExamTree (bitmap 167).
    // 3. The client size of the template.
    m_lastClientWidth = width();
    m_lastClientHeight = height();

    // 4. Colours, list column, fonts, bitmaps, tooltips.
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kBlack);
    palette.setColor(QPalette::WindowText, kWhite);
    setPalette(palette);
    QPalette listPalette = m_tree->palette();
    listPalette.setColor(QPalette::Base, kBlack);
    listPalette.setColor(QPalette::Window, kBlack);
    listPalette.setColor(QPalette::Text, kWhite);
    m_tree->setPalette(listPalette);
    m_pictures->setPalette(listPalette);
    for (int id : { ID_ZOOM_LABEL, ID_ZOOM_CAPTION, ID_DICOM_CAPTION, ID_JPEG_CAPTION, ID_FPS_CAPTION,
             ID_FPS_LABEL, ID_CINE_CAPTION }) {
        if (auto* label = qobject_cast<ColourLabel*>(Control(id)))
            label->SetBackgroundColour(kBlack);
    }
    m_zoomBox->SetBackgroundColour(kWhite);
    m_fpsBox->SetBackgroundColour(kWhite);
    // The dialog answers the colour request of these controls itself: white on black.
    for (int id : { ID_DICOM_CAPTION, ID_JPEG_CAPTION }) {
        if (auto* label = qobject_cast<ColourLabel*>(Control(id)))
            label->SetDialogColours(kWhite, kBlack);
    }
    m_zoomBox->SetDialogColours(kWhite, kBlack);
    m_fpsBox->SetDialogColours(kWhite, kBlack);
    if (auto* fps = qobject_cast<QLabel*>(Control(ID_FPS_TEXT)))
        fps->setPalette(palette);
    for (int id : { ID_DICOM_CAPTION, ID_JPEG_CAPTION, ID_FPS_CAPTION })
        Control(id)->setFont(m_boldFont);

    SetUpButton(ID_LOAD, 175, 174, "Load file");
    SetUpButton(ID_BROWSE, 173, 172, "Browse for folder");
    SetUpButton(ID_WINDOW_LEVEL, 136, 135, "Window Level");
    SetUpButton(ID_INVERT, 137, 138, "Invert");
    SetUpButton(ID_ZOOM_IN, 150, 149, "Zoom In");
    SetUpButton(ID_ZOOM_OUT, 148, 147, "Zoom Out");
    SetUpButton(ID_REFLECT_Y, 152, 153, "Reflect X");
    SetUpButton(ID_REFLECT_X, 154, 151, "Reflect Y");
    SetUpButton(ID_CINE, 156, 155, "Cine(Play/Stop)");
    SetUpButton(ID_RESET, 158, 157, "Reset to Original");
    SetUpButton(ID_TILE1, 160, 161, "Image View(1-Up)");
    SetUpButton(ID_TILE4, 162, 159, "Image View(4-Up)");
    SetUpButton(ID_PREVIOUS, 164, 163, "Previous Image");
    SetUpButton(ID_NEXT, 166, 165, "Next Image");
    SetUpButton(ID_LOAD_ALL, 177, 178, "Display the entire list");
    SetUpButton(ID_APPLY_ALL, 180, 179, "Apply All");
    SetUpButton(ID_RULER, 134, 133, "Ruler");
    SetUpButton(ID_ANGLE, 139, 140, "Angle");
    SetUpButton(ID_TEXT, 146, 145, "Text");
    SetUpButton(ID_ARROW, 141, 142, "Arrow");
    SetUpButton(ID_SELECT, 144, 143, "Annotation Select");
    SetUpButton(ID_SAVE_IMAGE, 131, 132, nullptr);
    SetUpButton(ID_OK, 129, 130, nullptr);

    // 5. Viewing state.
    m_zoom = 1.0;
    m_framesPerSecond = 10;
    m_cineRunning = false;

    // 6. The tile grid, 1-up.
    m_area->Create(this);
    Button(ID_TILE1)->SetCheck(1);

    // 7. - 9. Zoom box, icon, fps box.
    SetZoomBox();
    m_icon = QIcon();
    for (int size : { 32, 64, 128, 256 })
        m_icon.addFile(QStringLiteral(":/bitmaps/icon_128_%1.png").arg(size));
    setWindowIcon(m_icon);
    m_fpsBox->setText(QString::number(m_framesPerSecond));

    qApp->installEventFilter(this);
    m_commands.InstallKeys(this, [this](int id) { TriggerCommand(id); });

    // 10. - 12. The default folder (or the paths the program was given), the first image, the
    // splash.
    if (!m_startPaths.empty()) {
        OpenPaths(m_startPaths);
    } else {
        if (!m_programFolder.isEmpty())
            ScanDefaultFolder();
        Next();
    }
    if (!m_programFolder.isEmpty())
        ShowSplash();
}

int MainDialog::Run()
{
    Initialise();
    return exec();
}

void MainDialog::ShowSplash()
{
    SplashDialog splash(m_programFolder);
    if (!splash.Loaded())
        return;
    m_splashTimerId = startTimer(2000);
    m_splash = &splash; // the timer ends it through EndSplash
    splash.setWindowTitle(windowTitle());
    splash.exec();
    m_splash = nullptr;
}

void MainDialog::EndSplash()
{
    if (m_splash)
        m_splash->accept();
}

void MainDialog::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_cineTimerId && m_cineRunning) {
        Next();
    } else if (event->timerId() == m_splashTimerId) {
        killTimer(m_splashTimerId);
        m_splashTimerId = 0;
        EndSplash();
    }
    QDialog::timerEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Message filter

bool MainDialog::HasOwnWidget(QObject* watched) const
{
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget)
        return false;
    QWidget* top = widget->window();
    return top == this || (m_splash && top == m_splash);
}

bool MainDialog::DragZoomAllowed() const
{
    if (Checked(ID_TILE1) && !m_area->TileHoldsImage(0))
        return false;
    if (Checked(ID_TILE4)) {
        bool any = false;
        for (int k = 0; k < 4; ++k)
            any = any || m_area->TileHoldsImage(k);
        if (!any)
            return false;
    }
    for (int id : { ID_WINDOW_LEVEL, ID_RULER, ID_ANGLE, ID_TEXT, ID_ARROW, ID_SELECT }) {
        if (Checked(id))
            return false;
    }
    return true;
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (!HasOwnWidget(watched))
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
            return true;
        break;
    case QEvent::Wheel: {
        // Only vertical movement steps, up Previous and down Next; a sideways wheel or swipe
        // scrolls what is under it.
        const int vertical = static_cast<QWheelEvent*>(event)->angleDelta().y();
        if (vertical == 0 || !m_tree || m_tree->Model().Empty())
            break;
        const int notches = m_wheelSteps.Add(vertical);
        for (int k = 0; k < notches; ++k)
            Previous();
        for (int k = 0; k > notches; --k)
            Next();
        return true;
    }
    case QEvent::MouseMove: {
        const auto* move = static_cast<QMouseEvent*>(event);
        if (move->buttons() != Qt::LeftButton || move->modifiers() != Qt::NoModifier)
            break;
        // A move that a child ignored reaches its parent again: count it once.
        if (m_haveLastMove && move->timestamp() == m_lastMoveTime
            && move->globalPosition() == m_lastMoveGlobal)
            break;
        m_haveLastMove = true;
        m_lastMoveTime = move->timestamp();
        m_lastMoveGlobal = move->globalPosition();
        const int y = static_cast<int>(move->position().y());
        if (m_lastDragY < 0) {
            m_lastDragY = y;
        } else if (DragZoomAllowed()) {
            m_zoomStep = 0.01;
            if (y > m_lastDragY)
                ZoomOut();
            else if (y < m_lastDragY)
                ZoomIn();
            m_lastDragY = y;
            m_zoomStep = 0.1;
        }
        break;
    }
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void MainDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape)
        return;
    QDialog::keyPressEvent(event);
}

void MainDialog::closeEvent(QCloseEvent* event)
{
    QDialog::closeEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Layout

void MainDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    OnSize(isMinimized(), width(), height());
}

void MainDialog::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    if (isMinimized()) {
        m_wasMinimized = true;
        OnSize(true, width(), height());
    } else if (m_wasMinimized) {
        m_wasMinimized = false;
        OnSize(false, width(), height());
    }
}

void MainDialog::OnSize(bool minimized, int width, int height)
{
    if (minimized || m_lastClientWidth == 0)
        return;
    LayOut(width - m_lastClientWidth, height - m_lastClientHeight);
    m_lastClientWidth = width;
    m_lastClientHeight = height;
    update();
    if (Checked(ID_TILE1))
        OneUp();
    else
        FourUp();
}

void MainDialog::MoveBy(int id, int dx, int dy)
{
    if (QWidget* control = Control(id)) {
        control->move(control->pos() + QPoint(dx, dy));
        control->update();
    }
}

void MainDialog::LayOut(int dx, int dy)
{
    const int w = m_lastClientWidth + dx;
    const int h = m_lastClientHeight + dy;
    update();
    m_area->Resize(w - 174, h);
    MoveBy(ID_DICOM_CAPTION, dx, 0);
    MoveBy(ID_SAVE_IMAGE, dx, dy);
    MoveBy(ID_OK, dx, dy);
    const int treeBottom = m_jpegFound ? h / 2 : h - 70;
    m_tree->setGeometry(m_tree->x() + dx, m_tree->y(), m_tree->width(), treeBottom - m_tree->y());
    QWidget* caption = Control(ID_JPEG_CAPTION);
    caption->setGeometry(caption->x() + dx, h / 2 + 2, caption->width(), 15);
    m_pictures->setGeometry(m_pictures->x() + dx, h / 2 + 20, m_pictures->width(), (h - 70) - (h / 2 + 20));
    MoveBy(ID_LOGO, dx, dy);
}

void MainDialog::HidePictureList()
{
    const int h = height();
    Control(ID_JPEG_CAPTION)->hide();
    m_pictures->hide();
    m_tree->setGeometry(m_tree->x(), m_tree->y(), m_tree->width(), (h - 70) - m_tree->y());
    update();
}

void MainDialog::ShowPictureList()
{
    const int h = height();
    QWidget* caption = Control(ID_JPEG_CAPTION);
    caption->show();
    m_pictures->show();
    m_tree->setGeometry(m_tree->x(), m_tree->y(), m_tree->width(), h / 2 - m_tree->y());
    caption->setGeometry(caption->x(), h / 2 + 2, caption->width(), 15);
    m_pictures->setGeometry(m_pictures->x(), h / 2 + 20, m_pictures->width(), (h - 70) - (h / 2 + 20));
    update();
}

// ---------------------------------------------------------------------------------------------
// Lists

ResultCode MainDialog::AddDicomFile(const QString& path)
{
    return velmora::AddDicomFile(m_tree->Model(), QFile::encodeName(path).toStdString());
}

void MainDialog::AddPictureFile(const QString& path)
{
    m_pictures->AddPictureFile(QFile::encodeName(path).toStdString());
}

namespace {

// Paths found by the walk stay bytes: a name that is not UTF-8 would not survive a QString.
ScanSinks SinksFor(ExamModel& model, PictureList& pictures, bool& jpegFound)
{
    return { [&model](const std::string& path) { velmora::AddDicomFile(model, path); },
        [&pictures, &jpegFound](const std::string& path) {
            jpegFound = true;
            pictures.AddPictureFile(path);
        } };
}

} // namespace

void MainDialog::ScanFolder(const QString& path)
{
    velmora::ScanFolder(
        QFile::encodeName(path).toStdString(), SinksFor(m_tree->Model(), *m_pictures, m_jpegFound));
}

void MainDialog::ScanFiles(const QString& path)
{
    velmora::ScanFiles(
        QFile::encodeName(path).toStdString(), SinksFor(m_tree->Model(), *m_pictures, m_jpegFound));
}

void MainDialog::ClearPictureList()
{
    m_pictures->ClearPictureList();
}

void MainDialog::ScanDefaultFolder()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_tree->Clear();
    if (!m_programFolder.isEmpty()) {
        m_jpegFound = false;
        ScanFolder(m_programFolder + "/DICOM");
        if (m_jpegFound)
            ShowPictureList();
        else if (m_pictures->Count() == 0)
            HidePictureList();
    }
    QApplication::restoreOverrideCursor();
}

void MainDialog::Browse()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QApplication::restoreOverrideCursor();
    const QString path = m_prompts->ChooseFolder(this, "Choose a Folder");
    if (path.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    update();
    m_tree->Clear();
    m_jpegFound = false;
    ScanFolder(path);
    Next();
    if (m_jpegFound)
        ShowPictureList();
    else if (m_pictures->Count() == 0)
        HidePictureList();
    QApplication::restoreOverrideCursor();
}

void MainDialog::LoadFile()
{
    const QString path = m_prompts->ChooseOpenFile(this, "Import Image", "ALL (*)");
    if (path.isEmpty())
        return;
    m_jpegFound = false;
    if (IsPictureName(path.toStdString())) {
        m_jpegFound = true;
        AddPictureFile(path);
    } else {
        {
            // Emptying the tree is no selection change: the tiles keep what they show unless
            // the file gives a first image.
            const QSignalBlocker quiet(m_tree);
            m_tree->Clear();
        }
        update();
        AddDicomFile(path);
        if (const ExamItem item = m_tree->Model().FirstImageOfLastPatient()) {
            m_tree->Select(item);
            m_area->ShowImages(m_tree->Model().CollectFour(item, m_wholeList));
        }
    }
    if (m_jpegFound)
        ShowPictureList();
    else if (m_pictures->Count() == 0)
        HidePictureList();
}

void MainDialog::OpenPaths(const std::vector<std::string>& paths)
{
    const WaitCursor wait;
    m_tree->Clear();
    m_jpegFound = false;
    const ScanSinks sinks = SinksFor(m_tree->Model(), *m_pictures, m_jpegFound);
    for (const std::string& path : paths) {
        const PathKind kind = KindOf(path);
        if (kind == PathKind::Folder)
            velmora::ScanFolder(path, sinks);
        else if (kind == PathKind::File)
            (IsPictureName(path) ? sinks.picture : sinks.dicom)(path);
    }
    Next();
    if (m_jpegFound)
        ShowPictureList();
    else if (m_pictures->Count() == 0)
        HidePictureList();
}

void MainDialog::SaveImage()
{
    const QString destination = m_prompts->ChooseSaveFile(this);
    if (destination.isEmpty())
        return;
    const ExamItem item = m_tree->Selected();
    const ImageItemRecord* record = item ? m_tree->Model().Record(item) : nullptr;
    if (!record || record->path.empty())
        return;
    // The whole file (every frame) as it was read: no preamble, no group 0002, implicit VR
    // little-endian, values copied from the source while it is open.
    DataSet ds;
    if (ds.Load(record->path.c_str()) == SUCCESS)
        ds.Save(QFile::encodeName(destination).constData(), 0);
}

void MainDialog::OnTreeSelectionChanged(ExamItem item)
{
    m_area->ShowImages(m_tree->Model().CollectFour(item, m_wholeList));
}

void MainDialog::OnTreeClicked(ExamItem)
{
    const ExamItem selected = m_tree->Selected();
    if (m_tree->Model().FirstChild(selected) != 0)
        return;
    m_area->SetZoom(m_zoom);
    m_area->ShowImages(m_tree->Model().CollectFour(selected, m_wholeList));
}

void MainDialog::OnPictureClicked()
{
    const QList<QTreeWidgetItem*> selected = m_pictures->selectedItems();
    if (selected.isEmpty())
        return;
    const int row = m_pictures->indexOfTopLevelItem(selected.first());
    FourPaths paths;
    for (int k = 0; k < 4; ++k)
        paths[static_cast<size_t>(k)] = m_pictures->PathAt(row + k);
    m_area->ShowPictures(paths);
}

// ---------------------------------------------------------------------------------------------
// Commands

bool MainDialog::Checked(int id) const
{
    const IconButton* button = Button(id);
    return button && button->GetCheck() == 1;
}

void MainDialog::Release(int id)
{
    if (IconButton* button = Button(id))
        button->SetCheck(0);
}

void MainDialog::SetZoomBox()
{
    ShowZoomPercent(m_zoom);
}

void MainDialog::ShowZoomPercent(double zoom)
{
    // The whole percentage, truncated. The zoom moves in tenths and hundredths, whose sums in
    // binary may fall a hair short of the percentage they make (1 - 50 x 0.01 is 0.4999...):
    // that hair is not a percent less.
    m_zoomBox->setText(QString::number(static_cast<int>(std::trunc(zoom * 100.0 + 1e-6))));
}

void MainDialog::ShowSelection()
{
    m_area->ShowImages(m_tree->Model().CollectFour(m_tree->Selected(), m_wholeList));
}

void MainDialog::RunCommand(int id)
{
    m_commands.Run(id);
}

void MainDialog::TriggerCommand(int id)
{
    IconButton* button = Button(id);
    if (button && button->CheckMode())
        button->SetCheck(button->GetCheck() == 1 ? 0 : 1);
    RunCommand(id);
}

void MainDialog::OneUp()
{
    Button(ID_TILE1)->SetCheck(1);
    Button(ID_TILE4)->SetCheck(0);
    m_area->SetMode(1);
    ShowSelection();
}

void MainDialog::FourUp()
{
    Button(ID_TILE1)->SetCheck(0);
    Button(ID_TILE4)->SetCheck(1);
    m_area->SetMode(4);
    ShowSelection();
}

void MainDialog::Previous()
{
    Release(ID_PREVIOUS);
    const ExamItem selected = m_tree->Selected();
    if (!selected)
        return;
    const ExamItem target
        = m_tree->Model().PreviousImage(selected, m_wholeList ? Across::WholeTree : Across::SeriesOnly);
    if (target)
        m_tree->Select(target);
}

void MainDialog::Next()
{
    Release(ID_NEXT);
    const ExamItem selected = m_tree->Selected();
    ExamItem target = 0;
    if (selected)
        target = m_tree->Model().NextImage(
            selected, Wrap::Yes, m_wholeList ? Across::WholeTree : Across::SeriesOnly);
    else
        target = m_tree->Model().FirstDeepest();
    if (target)
        m_tree->Select(target);
}

void MainDialog::CinePlayStop()
{
    unsigned value = 0;
    if (ParseUnsigned(m_fpsBox->text(), value))
        m_framesPerSecond = value;
    else
        m_prompts->Warn(this, QApplication::applicationName(), "Please enter a positive integer.");
    if (m_framesPerSecond == 0) {
        m_prompts->Warn(
            this, QApplication::applicationName(), "Invalid value for the number of frames per second.");
        return;
    }
    if (m_cineRunning) {
        killTimer(m_cineTimerId);
        m_cineRunning = false;
        return;
    }
    m_cineInterval = static_cast<int>(1000u / m_framesPerSecond);
    // A period of 0 (above 1000 fps) is the shortest period the platform offers.
    m_cineTimerId = startTimer(std::max(m_cineInterval, 1), Qt::PreciseTimer);
    m_cineRunning = true;
}

void MainDialog::ZoomIn()
{
    Release(ID_ZOOM_IN);
    if (m_zoom < 4.0) {
        m_zoom += m_zoomStep;
        m_area->SetZoom(m_zoom);
        SetZoomBox();
    }
}

void MainDialog::ZoomOut()
{
    Release(ID_ZOOM_OUT);
    if (m_zoom > kMinimumZoom) {
        m_zoom = std::max(m_zoom - m_zoomStep, kMinimumZoom);
        m_area->SetZoom(m_zoom);
        SetZoomBox();
    }
}

void MainDialog::Reset()
{
    Release(ID_RESET);
    m_zoom = 1.0;
    SetZoomBox();
    ShowSelection();
}

void MainDialog::Mirror()
{
    m_mirrorState = !m_mirrorState;
    m_area->SetMirror(m_mirrorState);
    m_area->ApplyMirror();
    Release(ID_REFLECT_X);
}

void MainDialog::Flip()
{
    m_flipState = !m_flipState;
    m_area->SetFlip(m_flipState);
    m_area->ApplyFlip();
    Release(ID_REFLECT_Y);
}

void MainDialog::InvertImages()
{
    m_invertState = !m_invertState;
    m_area->SetInvert(m_invertState);
    m_area->ApplyInvert();
    Release(ID_INVERT);
}

void MainDialog::WindowLevel()
{
    for (int id : { ID_RULER, ID_ANGLE, ID_TEXT, ID_ARROW })
        Release(id);
    m_area->ToggleWindowLevel();
}

void MainDialog::ToggleWholeList()
{
    m_wholeList = Checked(ID_LOAD_ALL);
    ShowSelection();
}

void MainDialog::ChooseTool(int id)
{
    if (!Checked(id)) {
        m_area->SetInteractionMode(InteractionMode::Off);
        return;
    }
    for (int other : { ID_RULER, ID_ANGLE, ID_TEXT, ID_ARROW, ID_SELECT, ID_WINDOW_LEVEL }) {
        if (other != id)
            Release(other);
    }
    switch (id) {
    case ID_RULER:
        m_area->ChooseAnnotation(AnnotationKind::Ruler);
        break;
    case ID_ANGLE:
        m_area->ChooseAnnotation(AnnotationKind::Angle);
        break;
    case ID_ARROW:
        m_area->ChooseAnnotation(AnnotationKind::Arrow);
        break;
    case ID_SELECT:
        m_area->SetInteractionMode(InteractionMode::Select);
        break;
    default:
        break;
    }
}

void MainDialog::TextTool()
{
    QString text;
    if (!m_prompts->AskAnnotationText(this, text)) {
        Release(ID_TEXT);
        return;
    }
    if (Checked(ID_TEXT)) {
        for (int id : { ID_RULER, ID_ANGLE, ID_ARROW, ID_SELECT, ID_WINDOW_LEVEL, ID_TEXT })
            Release(id);
        m_area->ChooseText(text.toStdString());
    } else {
        m_area->SetInteractionMode(InteractionMode::Off);
    }
}

} // namespace velmora
