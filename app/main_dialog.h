// MainDialog: the viewer's one window. The toolbar of icon toggles, the image area (tile grid)
// on the left, the exam tree and picture list on the right; the viewing commands, the folder
// scans, the two timers (splash, cine), the message filter (Escape, wheel, drag-zoom) and the
// resize layout. Positions come from a template in dialog units (x * 6 / 4, y * 13 / 8).
#pragma once

#include "app/command_table.h"
#include "app/image_area.h"
#include "app/model/exam_model.h"
#include "app/user_prompts.h"
#include "app/wheel_steps.h"
#include "toolkit/result_code.h"

#include <QDialog>
#include <QFont>
#include <QHash>
#include <QIcon>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QDialog;

namespace velmora {

class ColourEdit;
class ColourLabel;
class ContextMenus;
class ExamTree;
class IconButton;
class PictureList;
class ReadingAids;

// Control ids of the dialog template.
enum ControlIdentifier : int {
    ID_OK = 1,
    ID_SAVE_IMAGE = 303,
    ID_EXAM_TREE = 318,
    ID_LOGO = 320,
    ID_WINDOW_LEVEL = 321,
    ID_INVERT = 322,
    ID_RULER = 324,
    ID_ANGLE = 325,
    ID_TEXT = 326,
    ID_ARROW = 327,
    ID_ZOOM_IN = 328,
    ID_ZOOM_OUT = 329,
    ID_ZOOM_BOX = 330,
    ID_ZOOM_LABEL = 331,
    ID_ZOOM_CAPTION = 332,
    ID_DICOM_CAPTION = 333,
    ID_FPS_CAPTION = 334,
    ID_REFLECT_Y = 335,
    ID_REFLECT_X = 336,
    ID_CINE = 337,
    ID_FPS_BOX = 338,
    ID_FPS_LABEL = 339,
    ID_CINE_CAPTION = 340,
    ID_RESET = 341,
    ID_TILE1 = 342,
    ID_TILE4 = 343,
    ID_PREVIOUS = 344,
    ID_NEXT = 345,
    ID_SELECT = 346,
    ID_JPEG_CAPTION = 347,
    ID_BROWSE = 1000,
    ID_LOAD = 1001,
    ID_LOAD_ALL = 1002,
    ID_FPS_TEXT = 1006,
    ID_PICTURE_LIST = 1008,
    ID_APPLY_ALL = 1009,
    ID_SEPARATOR = -1,
};

class MainDialog : public QDialog, public ZoomHost {
    Q_OBJECT
public:
    // `area` null: the tile grid. `prompts` null: the Qt dialogs. `programFolder` is where
    // "DICOM" and "splash.bmp" are looked for; empty skips both.
    MainDialog(QString programFolder, std::unique_ptr<ImageArea> area = nullptr,
        std::unique_ptr<UserPrompts> prompts = nullptr, QWidget* parent = nullptr);
    ~MainDialog() override;

    // Dialog initialisation (before the window is first shown): colours, bitmaps, tile grid,
    // the scan of "DICOM", the first image, the splash. Run once, by Run() or by a test.
    void Initialise();
    // Initialise, then run modally; the dialog's result.
    int Run();
    // Paths to open at start-up in place of the scan of "DICOM" (before Initialise).
    void SetStartPaths(std::vector<std::string> paths) { m_startPaths = std::move(paths); }
    // Opens what the user pointed at (the command line, a drop) in place of the tree's content:
    // each folder scanned as Browse does, each regular file filed as Load does (a picture goes to
    // the picture list); anything else is passed over. Then the first image is shown.
    void OpenPaths(const std::vector<std::string>& paths);

    // The commands, by id, from the command table (what a click on the button runs after
    // toggling it).
    void RunCommand(int id);
    // Command `id` as a click on its button does it: a check button toggles, then the command
    // runs. Menus and keys reach every command this way.
    void TriggerCommand(int id);
    CommandTable& Commands() { return m_commands; }
    const CommandTable& Commands() const { return m_commands; }
    ContextMenus& Menus() const { return *m_menus; }
    // Whether check button `id` is checked; Release unchecks it.
    bool Checked(int id) const;
    void Release(int id);
    void OneUp();
    void FourUp();
    void Previous();
    void Next();
    void CinePlayStop();
    void ZoomIn();
    void ZoomOut();
    void Reset();
    void Mirror();
    void Flip();
    void InvertImages();
    void WindowLevel();
    void ToggleWholeList();
    void ChooseTool(int id);
    void TextTool();
    void Browse();
    void LoadFile();
    // Save Image (303): the selected image's file, loaded and saved as a raw data set to a file
    // the user names. Every failure is silent.
    void SaveImage();

    // Filling the lists.
    ResultCode AddDicomFile(const QString& path);
    void AddPictureFile(const QString& path);
    void ScanFolder(const QString& path);
    void ScanFiles(const QString& path);
    void ClearPictureList();
    void ShowPictureList();
    void HidePictureList();
    void ScanDefaultFolder();

    // Shows the selection: CollectFour of the selected item, ShowImages.
    void ShowSelection();

    // ZoomHost: the tiles read the zoom and write the zoom box.
    double CurrentZoom() const override { return m_zoom; }
    void ShowZoomPercent(double zoom) override;

    // State, for the tests and the tiles.
    QWidget* Control(int id) const { return m_controls.value(id, nullptr); }
    IconButton* Button(int id) const;
    ExamTree* Tree() const { return m_tree; }
    PictureList* Pictures() const { return m_pictures; }
    ReadingAids* Aids() const { return m_readingAids; }
    ImageArea& Area() const { return *m_area; }
    double Zoom() const { return m_zoom; }
    double ZoomStep() const { return m_zoomStep; }
    unsigned FramesPerSecond() const { return m_framesPerSecond; }
    bool CineRunning() const { return m_cineRunning; }
    int CineTimerId() const { return m_cineTimerId; }
    int CineInterval() const { return m_cineInterval; }
    bool WholeList() const { return m_wholeList; }
    bool JpegFound() const { return m_jpegFound; }
    bool MirrorState() const { return m_mirrorState; }
    bool FlipState() const { return m_flipState; }
    bool InvertState() const { return m_invertState; }
    int LastDragY() const { return m_lastDragY; }
    bool DragZoomAllowed() const;
    QFont BoldFont() const { return m_boldFont; }

    // Window-size handling as the platform reports it: minimized, or a new client size.
    void OnSize(bool minimized, int width, int height);

    // Converts a template rectangle in dialog units to pixels.
    static QRect DialogUnits(int x, int y, int width, int height);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void SetUpButton(int id, int bitmap1, int bitmap2, const char* tooltip);
    void LayOut(int dx, int dy);
    void MoveBy(int id, int dx, int dy);
    void SetZoomBox();
    void ShowSplash();
    void EndSplash();
    bool HasOwnWidget(QObject* watched) const;
    void OnTreeSelectionChanged(ExamItem item);
    void OnTreeClicked(ExamItem item);
    void OnPictureClicked();

    QString m_programFolder;
    std::vector<std::string> m_startPaths;
    std::unique_ptr<ImageArea> m_area;
    std::unique_ptr<UserPrompts> m_prompts;
    CommandTable m_commands;
    std::unique_ptr<ContextMenus> m_menus;
    QHash<int, QWidget*> m_controls;
    ExamTree* m_tree = nullptr;
    PictureList* m_pictures = nullptr;
    ReadingAids* m_readingAids = nullptr;
    ColourEdit* m_zoomBox = nullptr;
    ColourEdit* m_fpsBox = nullptr;
    QFont m_boldFont;
    QIcon m_icon;

    double m_zoom = 1.0;
    double m_zoomStep = 0.1;
    unsigned m_framesPerSecond = 0;
    bool m_cineRunning = false;
    int m_cineTimerId = 0;
    int m_cineInterval = 0;
    int m_splashTimerId = 0;
    bool m_wholeList = false;
    bool m_jpegFound = false;
    bool m_mirrorState = false;
    bool m_flipState = false;
    bool m_invertState = false;
    int m_lastClientWidth = 0;
    int m_lastClientHeight = 0;
    int m_lastDragY = -1;
    WheelSteps m_wheelSteps;
    bool m_initialised = false;
    bool m_wasMinimized = false;
    QDialog* m_splash = nullptr;
    // The last mouse move the filter acted on, so a move passed up to a parent is not counted
    // twice.
    ulong m_lastMoveTime = 0;
    QPointF m_lastMoveGlobal;
    bool m_haveLastMove = false;
};

} // namespace velmora
