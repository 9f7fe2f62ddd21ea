#include "settings_dialog/form2.h"

#include "build_info.h"
#include "platform/dialogs.h"
#include "settings_dialog/input_limit.h"
#include "settings_dialog/space_run_label.h"
#include "settings_dialog/swatch_label.h"
#include "settings_dialog/twips.h"
#include "widgets/qt_colour.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

using Text = SettingsRecord::Text;
using Swatch = SettingsRecord::Swatch;

/// The face the design's dialog text was set in, or the nearest proportional Japanese face installed.
QString proportionalJapaneseFamily()
{
    // Looked up once in the list of installed faces: asking for each missing face by name makes the font
    // system resolve it as an alias, which costs start-up time.
    static const QString chosen = [] {
        const QStringList installed = QFontDatabase::families();
        for (const QString& family : {u"ＭＳ Ｐゴシック"_s, u"MS PGothic"_s, u"IPAPGothic"_s, u"IPA Pゴシック"_s,
                                      u"VL PGothic"_s, u"TakaoPGothic"_s, u"Noto Sans CJK JP"_s, u"Noto Sans JP"_s}) {
            if (installed.contains(family, Qt::CaseInsensitive))
                return family;
        }
        return QString();
    }();
    return chosen;
}

QFont japaneseFont(QFont font, qreal points)
{
    const QString family = proportionalJapaneseFamily();
    if (!family.isEmpty())
        font.setFamilies({family});
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    return font;
}

/// How the dialog is reached and what the other mouse command does, in one line under the title.
const QString noticeText = u"右クリックで設定、左クリックでリセット"_s;

constexpr int dialogWidthTwips = 6780;
constexpr int dialogHeightTwips = 4710;

} // namespace

Form2::Form2(SettingsRecord& record, FileAccess& files, Dialogs& dialogs, const QString& settingsFile, QWidget* parent)
    : QDialog(parent), fileN(settingsFile), m_record(record), m_dialogs(dialogs), m_apply(record, files, m_dialogs)
{
    connect(&m_apply, &SettingsApply::finished, this, &Form2::hide);
    connect(&m_apply, &SettingsApply::confirmed, this, &Form2::confirmed);
    connect(&m_apply, &SettingsApply::restartRequested, this, &Form2::restartRequested);
    setObjectName(u"Form2"_s);
    setWindowTitle(u"設定"_s);
    // An ordinary window rather than a dialog window: window managers keep a dialog above the program's other
    // windows, and the main window must be able to come to the front over this one.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setSizeGripEnabled(false);
    setFont(japaneseFont(font(), 9.0));
    buildControls();
    bindRecord();
}

Form2::~Form2() = default;

void Form2::buildControls()
{
    const qreal dpi = logicalDpiX();
    setFixedSize(twipsToPixels(dialogWidthTwips, dpi), twipsToPixels(dialogHeightTwips, dpi));

    auto place = [dpi](QWidget* w, int left, int top, int width, int height) {
        w->setGeometry(twipsRect(left, top, width, height, dpi));
    };
    // Labels that size themselves to their text keep only their top left corner from the design. They are sized
    // when the dialog is first shown (polished): measuring their text is most of the cost of making the dialog,
    // which is made hidden while the program starts.
    auto placeAutoSized = [this, dpi](QWidget* w, int left, int top) {
        w->move(twipsToPixels(left, dpi), twipsToPixels(top, dpi));
        m_autoSized.push_back(w);
    };
    auto label = [this](const QString& name, const QString& caption) {
        auto* l = new QLabel(caption, this);
        l->setObjectName(name);
        return l;
    };
    // Captions whose ideographic spaces make room for a field keep their design width, so the words after
    // the field stay clear of the controls to their right.
    auto spacedLabel = [this, dpi](const QString& name, const QString& caption, int designWidthTwips) {
        auto* l = new SpaceRunLabel(caption, this);
        l->setObjectName(name);
        l->fitToWidth(twipsToPixels(designWidthTwips, dpi));
        return l;
    };
    auto field = [this](Text which, const QString& name, int limit) {
        auto* f = new QLineEdit(this);
        f->setObjectName(name);
        if (limit > 0)
            f->setValidator(new InputLimitValidator(limit, f));
        m_fields[std::size_t(which)] = f;
        return f;
    };
    auto button = [this](const QString& name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        // Enter presses no button: none is the default, and none becomes it by taking the focus.
        b->setAutoDefault(false);
        b->setDefault(false);
        return b;
    };
    auto swatch = [this](Swatch which, const QString& name, void (Form2::*handler)()) {
        auto* s = new SwatchLabel(this);
        s->setObjectName(name);
        connect(s, &SwatchLabel::clicked, this, handler);
        m_swatches[std::size_t(which)] = s;
        return s;
    };

    // About band.
    m_picture = label(u"Picture1"_s, {});
    m_picture->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    place(m_picture, 120, 120, 495, 615);
    place(label(u"Label8"_s, QString::fromUtf16(programName) + u' ' + QString::fromUtf16(programVersion)), 720, 120,
          3015, 255);
    place(label(u"Label11"_s, noticeText), 720, 360, 2895, 255);

    // Display format and wave file.
    // Captioned when polished too: the style measures the caption in a bold face of its own, one more face to
    // load while the program starts.
    auto* frame = new QGroupBox(this);
    m_frameCaption = {frame, u"表示形式"_s};
    frame->setObjectName(u"Frame1"_s);
    place(frame, 0, 840, 3615, 615);
    const std::array<QString, 3> optionCaptions{u"上下段とも"_s, u"上段のみ"_s, u"下段のみ"_s};
    const std::array<int, 3> optionLeft{120, 1320, 2400};
    const std::array<int, 3> optionWidth{1215, 1095, 1095};
    for (int i = 0; i < 3; ++i) {
        auto* option = new QRadioButton(optionCaptions[std::size_t(i)], frame);
        option->setObjectName(u"Option"_s + QString::number(i + 1));
        place(option, optionLeft[std::size_t(i)], 240, optionWidth[std::size_t(i)], 255);
        m_options[std::size_t(i)] = option;
    }
    // Sized to its caption like the others: in some faces the Latin letters need a pixel more than its design
    // width, and the play button leaves room to its right.
    placeAutoSized(label(u"Label7"_s, u"予鈴WAVEファイル"_s), 3720, 840);
    place(field(Text::wavefile, u"wavefile"_s, 0), 3720, 1080, 2415, 270);
    auto* command1 = button(u"Command1"_s, u"..."_s);
    place(command1, 6360, 1080, 255, 255);
    // The sound check sits in the free space right of the field's caption, above the picker's button.
    auto* playBtn = button(u"playBtn"_s, u"試聴"_s);
    place(playBtn, 5760, 780, 855, 285);

    // The grid: captions first, so that the fields laid over their spaces are drawn on top of them.
    place(spacedLabel(u"Label9"_s, u"表示メッセージ（全角8字以内）　　文字色　背景色"_s, 3855), 2640, 1680, 3855, 255);
    placeAutoSized(label(u"Label10"_s, u"上段（カウントアップ）"_s), 120, 1920);
    placeAutoSized(label(u"Label12"_s, u"下段（カウントダウン）"_s), 120, 2400);
    placeAutoSized(spacedLabel(u"Label13"_s, u"A　　　　　　分間"_s, 1200), 1800, 2400);
    auto* label6 = spacedLabel(u"Label6"_s, u"期間A終了　　　　分前に予鈴　その後、色を"_s, 3585);
    label6->setFont(japaneseFont(font(), 9.75));
    placeAutoSized(label6, 1320, 2760);
    placeAutoSized(spacedLabel(u"Label14"_s, u"B　　　　　　分間"_s, 1200), 1800, 3120);
    placeAutoSized(label(u"Label1"_s, u"C"_s), 1800, 3480);

    place(field(Text::Text1, u"Text1"_s, 16), 3120, 1920, 1575, 270);
    place(field(Text::presenPeriod, u"presenPeriod"_s, 5), 2040, 2400, 495, 270);
    place(field(Text::Text2, u"Text2"_s, 0), 3120, 2400, 1575, 270);
    place(field(Text::warnBefore, u"warnBefore"_s, 5), 2280, 2760, 495, 270);
    place(field(Text::discussPeriod, u"discussPeriod"_s, 5), 2040, 3120, 495, 270);
    place(field(Text::Text3, u"Text3"_s, 0), 3120, 3120, 1575, 270);
    place(field(Text::Text4, u"Text4"_s, 0), 3120, 3480, 1575, 270);
    for (Text minutes : {Text::presenPeriod, Text::discussPeriod, Text::warnBefore}) {
        QLineEdit* f = m_fields[std::size_t(minutes)];
        f->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        f->setInputMethodHints(Qt::ImhPreferNumbers);
        f->raise();
    }

    place(swatch(Swatch::t1f, u"t1f"_s, &Form2::t1f_Click), 5160, 1920, 615, 735);
    place(swatch(Swatch::t1b, u"t1b"_s, &Form2::t1b_Click), 5880, 1920, 615, 735);
    place(swatch(Swatch::t2f, u"t2f"_s, &Form2::t2f_Click), 5160, 2760, 615, 255);
    place(swatch(Swatch::t2b, u"t2b"_s, &Form2::t2b_Click), 5880, 2760, 615, 255);
    place(swatch(Swatch::t3f, u"t3f"_s, &Form2::t3f_Click), 5160, 3120, 615, 255);
    place(swatch(Swatch::t3b, u"t3b"_s, &Form2::t3b_Click), 5880, 3120, 615, 255);
    place(swatch(Swatch::t4f, u"t4f"_s, &Form2::t4f_Click), 5160, 3480, 615, 255);
    place(swatch(Swatch::t4b, u"t4b"_s, &Form2::t4b_Click), 5880, 3480, 615, 255);

    auto* command2 = button(u"Command2"_s, u"設定変更して再スタート"_s);
    place(command2, 360, 4080, 2295, 495);
    auto* okBtn = button(u"okBtn"_s, u"設定変更のみ"_s);
    place(okBtn, 3360, 4080, 1215, 495);
    auto* clBtn = button(u"clBtn"_s, u"Cancel"_s);
    place(clBtn, 5280, 4080, 975, 495);

    connect(okBtn, &QPushButton::clicked, this, &Form2::okBtn_Click);
    connect(command2, &QPushButton::clicked, this, &Form2::Command2_Click);
    connect(clBtn, &QPushButton::clicked, this, &Form2::clBtn_Click);
    connect(command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    connect(playBtn, &QPushButton::clicked, this, &Form2::playBtn_Click);

    const std::array<QWidget*, 16> tabOrder{m_fields[std::size_t(Text::presenPeriod)],
                                            m_fields[std::size_t(Text::discussPeriod)],
                                            m_fields[std::size_t(Text::warnBefore)],
                                            okBtn,
                                            clBtn,
                                            m_fields[std::size_t(Text::wavefile)],
                                            command1,
                                            playBtn,
                                            m_fields[std::size_t(Text::Text1)],
                                            m_fields[std::size_t(Text::Text2)],
                                            m_fields[std::size_t(Text::Text3)],
                                            m_fields[std::size_t(Text::Text4)],
                                            command2,
                                            m_options[0],
                                            m_options[1],
                                            m_options[2]};
    for (std::size_t i = 0; i + 1 < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i], tabOrder[i + 1]);
    m_fields[std::size_t(Text::presenPeriod)]->setFocus();
    showIcon();
}

void Form2::bindRecord()
{
    for (int i = 0; i < SettingsRecord::textCount; ++i) {
        const auto which = Text(i);
        showText(which);
        connect(m_fields[std::size_t(i)], &QLineEdit::textChanged, this,
                [this, which](const QString& text) { m_record.setText(which, text); });
    }
    for (int i = 0; i < SettingsRecord::swatchCount; ++i)
        showColour(Swatch(i));
    showRowMode();
    for (int n = 1; n <= 3; ++n) {
        connect(m_options[std::size_t(n - 1)], &QRadioButton::toggled, this, [this, n](bool checked) {
            if (checked)
                m_record.setOption(n, true);
        });
    }
    connect(&m_record, &SettingsRecord::textChanged, this, &Form2::showText);
    connect(&m_record, &SettingsRecord::colourChanged, this, &Form2::showColour);
    connect(&m_record, &SettingsRecord::rowModeChanged, this, &Form2::showRowMode);
}

void Form2::showText(SettingsRecord::Text field)
{
    QLineEdit* edit = m_fields[std::size_t(field)];
    const QString text = m_record.text(field);
    // Only a change from outside is written back: rewriting the text being typed would move the cursor.
    if (edit->text() != text)
        edit->setText(text);
}

void Form2::showColour(SettingsRecord::Swatch swatch)
{
    const ColourValue c = m_record.colour(swatch);
    QLabel* label = m_swatches[std::size_t(swatch)];
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, toQColor(c));
    label->setPalette(palette);
}

void Form2::showRowMode()
{
    // An exclusive group refuses to clear its checked button, and a settings file may select no row mode.
    for (QRadioButton* option : m_options)
        option->setAutoExclusive(false);
    for (int n = 1; n <= 3; ++n)
        m_options[std::size_t(n - 1)]->setChecked(m_record.option(n));
    for (QRadioButton* option : m_options)
        option->setAutoExclusive(true);
}

void Form2::showIcon()
{
    QIcon icon = windowIcon();
    if (icon.isNull())
        icon = QApplication::windowIcon();
    m_picture->setPixmap(icon.isNull() ? QPixmap() : icon.pixmap(QSize(32, 32), devicePixelRatioF()));
}

void Form2::takeCancelCopy()
{
    m_apply.takeCancelCopy();
}

void Form2::okBtn_Click()
{
    m_apply.apply(fileN);
}

void Form2::Command2_Click()
{
    m_apply.applyAndRestart(fileN);
}

void Form2::clBtn_Click()
{
    m_apply.cancel();
}

void Form2::Command1_Click()
{
    const std::optional<QString> path =
        m_dialogs.pickOpenFile(u"予鈴WAVEファイルの選択"_s, u"WaveForm File (*.wav)"_s, m_pickedWavePath);
    // A cancelled file dialog leaves the field as it is; it never writes an older choice over the user's path.
    if (!path)
        return;
    m_pickedWavePath = *path;
    m_record.setText(Text::wavefile, *path);
}

void Form2::playBtn_Click()
{
    emit soundCheckRequested(m_record.text(Text::wavefile));
}

void Form2::pickColour(SettingsRecord::Swatch swatch)
{
    if (const std::optional<ColourValue> chosen = m_dialogs.pickColour(m_record.colour(swatch)))
        m_record.setColour(swatch, *chosen);
}

void Form2::t1f_Click()
{
    pickColour(Swatch::t1f);
}
void Form2::t1b_Click()
{
    pickColour(Swatch::t1b);
}
void Form2::t2f_Click()
{
    pickColour(Swatch::t2f);
}
void Form2::t2b_Click()
{
    pickColour(Swatch::t2b);
}
void Form2::t3f_Click()
{
    pickColour(Swatch::t3f);
}
void Form2::t3b_Click()
{
    pickColour(Swatch::t3b);
}
void Form2::t4f_Click()
{
    pickColour(Swatch::t4f);
}
void Form2::t4b_Click()
{
    pickColour(Swatch::t4b);
}

void Form2::keyPressEvent(QKeyEvent* event)
{
    // Enter and Escape press no button: the dialog is ended only by its three buttons or its frame.
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Enter:
    case Qt::Key_Return:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void Form2::closeEvent(QCloseEvent* event)
{
    // Closing through the frame is Cancel: the dialog only hides, and the settings it holds live on.
    if (isVisible())
        clBtn_Click();
    event->accept();
}

bool Form2::event(QEvent* event)
{
    if (event->type() == QEvent::Polish) {
        for (QWidget* label : std::exchange(m_autoSized, {}))
            label->resize(label->sizeHint());
        if (auto [frame, caption] = std::exchange(m_frameCaption, {}); frame)
            frame->setTitle(caption);
    }
    const bool handled = QDialog::event(event);
    // The program may set its icon after the dialog exists; the icon box follows it.
    if (event->type() == QEvent::WindowIconChange || event->type() == QEvent::ApplicationWindowIconChange)
        showIcon();
    return handled;
}
