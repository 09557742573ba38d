// The file-type page, built from the catalogue, and the mode page's category
// check boxes; both decide what a search looks for.
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "file_icons.h"
#include "main_wnd.h"
#include "ui_skin.h"

using vexlo::catalogue::TypeBox;
using vexlo::catalogue::TypeBoxId;
using vexlo::catalogue::TypeOption;

namespace {

constexpr int kOptionsPerRow = 4;
constexpr int kOptionWidth = 180;
// Heights of the six boxes on the file-type page, in box order.
constexpr int kBoxHeights[] = {220, 120, 180, 140, 100, 60};

const char *const kOtherOptionName = "OptOtherFileItem";

QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

void CMainWnd::buildFileTypePage()
{
    auto *boxesLayout = qobject_cast<QVBoxLayout *>(m_ui->FileTypeBoxes->layout());
    const QList<QPushButton *> jumpButtons = {m_ui->BtnPhoto,  m_ui->BtnAudio, m_ui->BtnVideo,
                                              m_ui->BtnOffice, m_ui->BtnZip,   m_ui->BtnOther};
    for (const TypeBox &box : vexlo::catalogue::TypeBoxes()) {
        const auto index = static_cast<std::size_t>(box.id);
        auto *frame = new QGroupBox(m_ui->FileTypeBoxes);
        frame->setObjectName(qs(box.box_name));
        frame->setMinimumHeight(kBoxHeights[index]);
        auto *layout = new QVBoxLayout(frame);
        layout->setSpacing(2);

        auto *titleRow = new QHBoxLayout;
        titleRow->setContentsMargins(10, 0, 0, 0);
        auto *title = new QLabel(qs(box.title_text), frame);
        title->setObjectName(qs(box.title_label));
        auto *categoryOption = new QCheckBox(frame);
        categoryOption->setObjectName(qs(box.category_option));
        categoryOption->setChecked(true);
        titleRow->addWidget(title);
        titleRow->addStretch();
        titleRow->addWidget(categoryOption);
        layout->addLayout(titleRow);

        auto *grid = new QGridLayout;
        QList<QCheckBox *> options;
        int position = 0;
        for (const TypeOption &option : box.options) {
            auto *check = new QCheckBox(qs(option.text), frame);
            check->setObjectName(box.id == TypeBoxId::kOther ? QLatin1String(kOtherOptionName)
                                                             : QStringLiteral("OptFileType"));
            check->setProperty("extensions", qs(option.extensions));
            check->setIcon(FileIcon(qs(option.icon)));
            check->setMinimumWidth(kOptionWidth);
            check->setChecked(true);
            connect(check, &QCheckBox::toggled, this,
                    [this, &option](bool on) { m_selection.SelectOption(option, on); });
            grid->addWidget(check, position / kOptionsPerRow, position % kOptionsPerRow);
            options.append(check);
            ++position;
        }
        layout->addLayout(grid);
        layout->addStretch();
        boxesLayout->addWidget(frame);
        connect(categoryOption, &QCheckBox::toggled, this, [options](bool on) {
            for (QCheckBox *check : options)
                check->setChecked(on);
        });
        connect(jumpButtons[static_cast<int>(index)], &QPushButton::clicked, this,
                [this, frame] { m_ui->FileTypeScroll->ensureWidgetVisible(frame, 0, 0); });
    }
    boxesLayout->addStretch();
}

bool CMainWnd::otherTypesSelected() const
{
    const auto *other = findChild<QCheckBox *>(QLatin1String(kOtherOptionName));
    return other != nullptr && other->isChecked();
}

void CMainWnd::tieCategoryCheckBoxes()
{
    m_categoryChecks = {m_ui->ChkPhoto,  m_ui->ChkMusic,   m_ui->ChkVideo,
                        m_ui->ChkOffice, m_ui->ChkArchive, m_ui->ChkOther};
    auto syncAll = [this] {
        int on = 0;
        for (QCheckBox *check : std::as_const(m_categoryChecks))
            on += check->isChecked() ? 1 : 0;
        QSignalBlocker block(m_ui->ChkRecoverAll);
        m_ui->ChkRecoverAll->setCheckState(on == 0 ? Qt::Unchecked
                                                   : on == m_categoryChecks.size()
                                                   ? Qt::Checked
                                                   : Qt::PartiallyChecked);
        m_ui->BtnStart->setEnabled(on > 0);
    };
    for (int i = 0; i < m_categoryChecks.size(); ++i) {
        connect(m_categoryChecks[i], &QCheckBox::toggled, this, [this, i, syncAll](bool on) {
            m_selection.SelectCategory(static_cast<TypeBoxId>(i), on);
            syncAll();
        });
    }
    connect(m_ui->ChkRecoverAll, &QCheckBox::clicked, this, [this] {
        // A click on a half-checked box checks everything.
        const bool on = m_ui->ChkRecoverAll->checkState() != Qt::Unchecked;
        for (QCheckBox *check : std::as_const(m_categoryChecks))
            check->setChecked(on);
    });
    syncAll();
}
