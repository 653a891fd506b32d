#include "app/SettingsDialog.h"

#include "app/ColorButton.h"
#include "settings/ColoringSettings.h"
#include "settings/DecimalText.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

int ChannelToByte(float channel)
{
    const float scaled = channel * 255.0f + 0.5f;
    if (!(scaled > 0.0f))
        return 0;
    return scaled >= 255.0f ? 255 : static_cast<int>(scaled);
}

// The entries of the point budget's mode box, in order.
enum PointBudgetMode { AutomaticBudget = 0, EveryPointBudget = 1, CountedBudget = 2 };

// What the count box offers when the setting holds no count: the software renderer's automatic budget.
constexpr int kDefaultBudgetCount = 1'000'000;

bool IsEnterOrEscape(const QEvent* event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

// A pair of radio buttons framed together, exclusive among themselves only.
QGroupBox* RadioPair(QWidget* parent, QRadioButton* first, QRadioButton* second)
{
    auto* frame = new QGroupBox(parent);
    auto* row = new QHBoxLayout(frame);
    row->setContentsMargins(8, 2, 8, 2);
    row->addWidget(first);
    row->addWidget(second);
    row->addStretch();
    auto* group = new QButtonGroup(frame);
    group->addButton(first);
    group->addButton(second);
    return frame;
}

QRadioButton* Radio(const QString& caption, const char* name, QWidget* parent)
{
    auto* radio = new QRadioButton(caption, parent);
    radio->setObjectName(name);
    return radio;
}

}  // namespace

float PointSizeFromText(std::string_view text, float minSize, float maxSize)
{
    const double value = ParseDecimalPrefix(text);
    if (std::isnan(value))
        return minSize;
    return static_cast<float>(ClampPointSize(value, minSize, maxSize));
}

QColor ColorFromBackground(const Eigen::Vector3f& background)
{
    return QColor(ChannelToByte(background.x()), ChannelToByte(background.y()), ChannelToByte(background.z()));
}

Eigen::Vector3f BackgroundFromColor(const QColor& color)
{
    return Eigen::Vector3f(static_cast<float>(color.red()), static_cast<float>(color.green()),
                           static_cast<float>(color.blue())) /
           255.0f;
}

SettingsDialog::SettingsDialog(const AppSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings)
{
    setObjectName("settingsDialog");
    setWindowTitle(tr("設定"));
    BuildControls();
    FillControls();
    // Every control of the dialog, including those focused when Enter or Escape is
    // pressed, hands its keys to the filter first.
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
    setFixedSize(sizeHint());
}

void SettingsDialog::BuildControls()
{
    m_round = Radio(tr("丸"), "roundPoints", this);
    m_square = Radio(tr("四角"), "squarePoints", this);
    m_pointSize = new QLineEdit(this);
    m_pointSize->setObjectName("pointSize");
    m_pointSize->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("000.0")) + 16);
    m_orbit = Radio(tr("回転モード（Orbit）"), "orbit", this);
    m_fly = Radio(tr("ウォークスルーモード（Fly）"), "fly", this);
    m_perspective = Radio(tr("透視投影 （Persp）"), "perspective", this);
    m_orthographic = Radio(tr("平行投影（Ortho）"), "orthographic", this);
    m_showAxes = new QCheckBox(tr("表示"), this);
    m_showAxes->setObjectName("showAxes");
    m_background = new ColorButton(this);
    m_background->setObjectName("backgroundColor");
    m_background->SetOtherColorsText(tr("その他の色..."));
    m_background->setFixedWidth(m_pointSize->width() * 2);
    m_pointBudgetMode = new QComboBox(this);
    m_pointBudgetMode->setObjectName("pointBudgetMode");
    m_pointBudgetMode->addItem(tr("自動"));
    m_pointBudgetMode->addItem(tr("すべての点"));
    m_pointBudgetMode->addItem(tr("点数を指定"));
    m_pointBudget = new QSpinBox(this);
    m_pointBudget->setObjectName("pointBudget");
    m_pointBudget->setRange(1, std::numeric_limits<int>::max());
    m_pointBudget->setSingleStep(100'000);
    m_pointBudget->setGroupSeparatorShown(true);
    connect(m_pointBudgetMode, &QComboBox::currentIndexChanged, this,
            [this](int mode) { m_pointBudget->setEnabled(mode == CountedBudget); });
    m_language = new QComboBox(this);
    m_language->setObjectName("language");
    m_language->addItem(tr("システムに従う"), QString());
    m_language->addItem(QString::fromUtf8("日本語"), QStringLiteral("ja"));
    m_language->addItem(QStringLiteral("English"), QStringLiteral("en"));

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setColumnStretch(1, 1);
    const auto label = [this](const QString& text) { return new QLabel(text, this); };
    const auto leftAligned = [this](std::initializer_list<QWidget*> widgets) {
        auto* holder = new QWidget(this);
        auto* row = new QHBoxLayout(holder);
        row->setContentsMargins(0, 0, 0, 0);
        for (QWidget* widget : widgets)
            row->addWidget(widget);
        row->addStretch();
        return holder;
    };

    grid->addWidget(label(tr("点群の点の形")), 0, 0);
    grid->addWidget(RadioPair(this, m_round, m_square), 0, 1);
    grid->addWidget(label(tr("点群の点の大きさ")), 1, 0);
    grid->addWidget(leftAligned({m_pointSize, label(tr("(1～32)"))}), 1, 1);
    grid->addWidget(label(tr("一度に描く点の上限")), 2, 0);
    grid->addWidget(leftAligned({m_pointBudgetMode, m_pointBudget}), 2, 1);
    grid->addWidget(label(tr("操作モード")), 3, 0);
    grid->addWidget(RadioPair(this, m_orbit, m_fly), 3, 1);
    grid->addWidget(label(tr("投影の種類")), 4, 0);
    grid->addWidget(RadioPair(this, m_perspective, m_orthographic), 4, 1);
    grid->addWidget(label(tr("座標軸")), 5, 0);
    grid->addWidget(m_showAxes, 5, 1);
    grid->addWidget(label(tr("背景色")), 6, 0);
    grid->addWidget(leftAligned({m_background}), 6, 1);
    grid->addWidget(label(tr("言語")), 7, 0);
    grid->addWidget(leftAligned({m_language, label(tr("（次回の起動から）"))}), 7, 1);

    m_colorMode = new QComboBox(this);
    m_colorMode->setObjectName("colorMode");
    for (const char* text : {QT_TR_NOOP("RGB"), QT_TR_NOOP("強度"), QT_TR_NOOP("分類"), QT_TR_NOOP("標高"),
                             QT_TR_NOOP("リターン番号")})
        m_colorMode->addItem(tr(text));
    const auto spin = [this](const char* name, double low, double high) {
        auto* box = new QDoubleSpinBox(this);
        box->setObjectName(name);
        box->setDecimals(1);
        box->setSingleStep(0.1);
        box->setRange(low, high);
        return box;
    };
    m_edlStrength = spin("edlStrength", 0.0, kMaxEdlStrength);
    m_edlRadius = spin("edlRadius", kMinEdlRadius, kMaxEdlRadius);
    // Below the language row, each in a row of its own.
    grid->addWidget(label(tr("点群の色")), 8, 0);
    grid->addWidget(leftAligned({m_colorMode}), 8, 1);
    grid->addWidget(label(tr("アイドームライティング")), 9, 0);
    grid->addWidget(leftAligned({label(tr("強さ")), m_edlStrength, label(tr("（0 で無効）")), label(tr("半径")),
                                 m_edlRadius}), 9, 1);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName("ok");
    ok->setDefault(true);
    auto* cancel = new QPushButton(tr("キャンセル"), this);
    cancel->setObjectName("cancel");
    connect(ok, &QPushButton::clicked, this, &SettingsDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &SettingsDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(8);
    layout->addLayout(buttons);

    // Tab order as the controls are laid out; the radio pairs are reached with the arrows.
    setTabOrder(ok, cancel);
    setTabOrder(cancel, m_pointSize);
    setTabOrder(m_pointSize, m_pointBudgetMode);
    setTabOrder(m_pointBudgetMode, m_pointBudget);
    setTabOrder(m_pointBudget, m_showAxes);
    setTabOrder(m_showAxes, m_background);
    setTabOrder(m_background, m_language);
    setTabOrder(m_language, m_colorMode);
    setTabOrder(m_colorMode, m_edlStrength);
    setTabOrder(m_edlStrength, m_edlRadius);
}

void SettingsDialog::FillControls()
{
    m_round->setChecked(m_settings.roundPoints);
    m_square->setChecked(!m_settings.roundPoints);
    m_pointSize->setText(QString::fromStdString(FormatOneDecimal(m_settings.pointSize)));
    m_orbit->setChecked(m_settings.navMode == 0);
    m_fly->setChecked(m_settings.navMode != 0);
    m_perspective->setChecked(m_settings.projection == 0);
    m_orthographic->setChecked(m_settings.projection != 0);
    m_showAxes->setChecked(m_settings.showAxisGizmo);
    m_background->SetColor(ColorFromBackground(m_settings.background));
    m_colorMode->setCurrentIndex(std::clamp(m_settings.colorMode, 0, kColorModeCount - 1));
    m_edlStrength->setValue(m_settings.edlStrength);
    m_edlRadius->setValue(m_settings.edlRadius);
    const std::int64_t budget = m_settings.pointBudget.value_or(kAutomaticPointBudgetSetting);
    const int mode = budget < 0 ? AutomaticBudget : budget == 0 ? EveryPointBudget : CountedBudget;
    m_pointBudget->setValue(budget > 0 ? static_cast<int>(std::min<std::int64_t>(budget, std::numeric_limits<int>::max()))
                                       : kDefaultBudgetCount);
    m_pointBudgetMode->setCurrentIndex(mode);
    m_pointBudget->setEnabled(mode == CountedBudget);
}

bool SettingsDialog::ReadControls()
{
    m_settings.roundPoints = m_round->isChecked();
    m_settings.pointSize =
        PointSizeFromText(m_pointSize->text().toStdString(), m_settings.pointSizeMin, m_settings.pointSizeMax);
    m_settings.navMode = m_orbit->isChecked() ? 0 : 1;
    m_settings.projection = m_perspective->isChecked() ? 0 : 1;
    m_settings.showAxisGizmo = m_showAxes->isChecked();
    m_settings.colorMode = m_colorMode->currentIndex();
    m_settings.edlStrength = static_cast<float>(m_edlStrength->value());
    m_settings.edlRadius = static_cast<float>(m_edlRadius->value());
    switch (m_pointBudgetMode->currentIndex()) {
    case EveryPointBudget:
        m_settings.pointBudget = kEveryPointBudgetSetting;
        break;
    case CountedBudget:
        m_settings.pointBudget = m_pointBudget->value();
        break;
    default:
        // Automatic stays unwritten until the user has chosen another value once.
        if (m_settings.pointBudget)
            m_settings.pointBudget = kAutomaticPointBudgetSetting;
        break;
    }
    const QColor color = m_background->Color();
    if (!color.isValid())
        return false;
    m_settings.background = BackgroundFromColor(color);
    return true;
}

void SettingsDialog::SetLanguage(const QString& language)
{
    const int index = m_language->findData(language);
    m_language->setCurrentIndex(index < 0 ? 0 : index);
}

QString SettingsDialog::Language() const
{
    return m_language->currentData().toString();
}

void SettingsDialog::accept()
{
    if (ReadControls())
        QDialog::accept();
}

bool SettingsDialog::eventFilter(QObject* watched, QEvent* event)
{
    // The palette of the colour button is a popup of its own: Escape still closes it there.
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && widget->window() == this && IsEnterOrEscape(event))
        return true;
    return QDialog::eventFilter(watched, event);
}

void SettingsDialog::keyPressEvent(QKeyEvent* event)
{
    if (IsEnterOrEscape(event))
        return;
    QDialog::keyPressEvent(event);
}

// Meta-object code in this file, so that each class links on its own.
#include "moc_SettingsDialog.cpp"
