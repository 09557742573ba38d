#include "result_filter_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

#include <optional>

#include "engine/name_pattern.h"

namespace {

constexpr int kSizeWidth = 90;
constexpr int kDateWidth = 110;
constexpr int kNameMinimumWidth = 140;

QLineEdit *NewField(QWidget *parent, const char *name, int width)
{
    auto *field = new QLineEdit(parent);
    field->setObjectName(QLatin1String(name));
    field->setClearButtonEnabled(true);
    if (width > 0)
        field->setFixedWidth(width);
    return field;
}

// Marks a field whose text cannot be read; the skin draws it in red.
void MarkInvalid(QLineEdit *field, bool invalid)
{
    if (field->property("invalid").toBool() == invalid)
        return;
    field->setProperty("invalid", invalid);
    field->style()->unpolish(field);
    field->style()->polish(field);
}

template<typename Parse> std::optional<uint64_t> ReadBound(QLineEdit *field, Parse parse)
{
    const std::string text = field->text().trimmed().toStdString();
    uint64_t value = 0;
    const bool valid = text.empty() || parse(text, &value);
    MarkInvalid(field, !valid);
    if (text.empty() || !valid)
        return std::nullopt;
    return value;
}

} // namespace

CResultFilterBar::CResultFilterBar(QWidget *parent)
    : QWidget(parent)
    , m_name(NewField(this, "FilterName", 0))
    , m_minSize(NewField(this, "FilterMinSize", kSizeWidth))
    , m_maxSize(NewField(this, "FilterMaxSize", kSizeWidth))
    , m_after(NewField(this, "FilterAfter", kDateWidth))
    , m_before(NewField(this, "FilterBefore", kDateWidth))
    , m_clear(new QToolButton(this))
{
    setObjectName(QStringLiteral("ResultFilterBar"));
    m_clear->setObjectName(QStringLiteral("BtnClearFilter"));
    auto *sizeLabel = new QLabel(this);
    sizeLabel->setObjectName(QStringLiteral("LblFilterSize"));
    auto *dateLabel = new QLabel(this);
    dateLabel->setObjectName(QStringLiteral("LblFilterDate"));

    m_name->setMinimumWidth(kNameMinimumWidth);
    // A dash between the ends of a range.
    const auto dash = [this] { return new QLabel(QStringLiteral("\u2013"), this); };

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(m_name, 1);
    layout->addSpacing(8);
    layout->addWidget(sizeLabel);
    layout->addWidget(m_minSize);
    layout->addWidget(dash());
    layout->addWidget(m_maxSize);
    layout->addSpacing(8);
    layout->addWidget(dateLabel);
    layout->addWidget(m_after);
    layout->addWidget(dash());
    layout->addWidget(m_before);
    layout->addWidget(m_clear);

    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMilliseconds);
    connect(&m_settle, &QTimer::timeout, this, &CResultFilterBar::readFields);
    for (QLineEdit *field : {m_name, m_minSize, m_maxSize, m_after, m_before})
        connect(field, &QLineEdit::textChanged, &m_settle, qOverload<>(&QTimer::start));
    connect(m_clear, &QToolButton::clicked, this, &CResultFilterBar::clear);
}

void CResultFilterBar::setTexts(const Texts &texts)
{
    m_name->setPlaceholderText(texts.name);
    m_minSize->setPlaceholderText(texts.minSize);
    m_maxSize->setPlaceholderText(texts.maxSize);
    m_after->setPlaceholderText(texts.after);
    m_before->setPlaceholderText(texts.before);
    m_name->setToolTip(texts.nameHint);
    for (QLineEdit *field : {m_minSize, m_maxSize, m_after, m_before})
        field->setToolTip(texts.boundsHint);
}

void CResultFilterBar::clear()
{
    for (QLineEdit *field : {m_name, m_minSize, m_maxSize, m_after, m_before}) {
        const QSignalBlocker block(field);
        field->clear();
    }
    readFields();
}

void CResultFilterBar::readFields()
{
    m_settle.stop();
    vexlo::RecordFilter filter;
    const QString name = m_name->text().trimmed();
    if (!name.isEmpty()) {
        std::string pattern = name.toStdString();
        if (!vexlo::HasWildcards(pattern))
            pattern = "*" + pattern + "*";
        filter.name_patterns.push_back(std::move(pattern));
    }
    filter.min_size = ReadBound(m_minSize, vexlo::ParseSizeText);
    filter.max_size = ReadBound(m_maxSize, vexlo::ParseSizeText);
    filter.modified_after = ReadBound(m_after, [](std::string_view text, uint64_t *time) {
        return vexlo::ParseTimeBound(text, vexlo::TimeBoundKind::kLower, time);
    });
    filter.modified_before = ReadBound(m_before, [](std::string_view text, uint64_t *time) {
        return vexlo::ParseTimeBound(text, vexlo::TimeBoundKind::kUpper, time);
    });
    m_filter = std::move(filter);
    emit filterChanged();
}
