// The file-type page, built from the catalogue, and the mode page's category
// check boxes; both decide what a search looks for.
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>

#include "file_icons.h"
#include "grid_flow_layout.h"
#include "main_wnd.h"
#include "ui_skin.h"

using vexlo::catalogue::TypeBox;
using vexlo::catalogue::TypeBoxId;
using vexlo::catalogue::TypeOption;

namespace {

// Heights of the six boxes on the file-type page, in box order.
constexpr int kBoxHeights[] = {220, 120, 180, 140, 100, 60};

const char *const kOtherOptionName = "OptOtherFileItem";

QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QIcon GenericIcon(const TypeBox &box)
{
    return FileIcon(QStringLiteral("FileIcon/") + qs(box.generic_icon));
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

        // As many columns as the widest label leaves room for: every label
        // reads in full, and the page never scrolls sideways.
        auto *grid = new CGridFlowLayout;
        QList<QCheckBox *> options;
        for (const TypeOption &option : box.options) {
            auto *check = new QCheckBox(qs(option.text), frame);
            check->setObjectName(box.id == TypeBoxId::kOther ? QLatin1String(kOtherOptionName)
                                                             : QStringLiteral("OptFileType"));
            check->setProperty("extensions", qs(option.extensions));
            check->setIcon(FileIcon(qs(option.icon)));
            check->setChecked(true);
            connect(check, &QCheckBox::toggled, this,
                    [this, &option](bool on) { m_selection.SelectOption(option, on); });
            grid->addWidget(check);
            options.append(check);
        }
        layout->addLayout(grid);
        layout->addStretch();
        boxesLayout->addWidget(frame);
        connect(categoryOption, &QCheckBox::toggled, this, [options](bool on) {
            for (QCheckBox *check : options)
                check->setChecked(on);
        });
        jumpButtons[static_cast<int>(index)]->setIcon(GenericIcon(box));
        connect(jumpButtons[static_cast<int>(index)], &QPushButton::clicked, this,
                [this, frame] { m_ui->FileTypeScroll->verticalScrollBar()->setValue(frame->y()); });
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
    for (const TypeBox &box : vexlo::catalogue::TypeBoxes())
        m_categoryChecks[static_cast<int>(box.id)]->setIcon(GenericIcon(box));
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
