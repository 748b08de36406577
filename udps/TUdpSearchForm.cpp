#include "TUdpSearchForm.h"

#include <QEvent>
#include <QFontDatabase>
#include <QIcon>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QStyledItemDelegate>

namespace kvgapi {

namespace {

constexpr int kClientWidth = 362;
constexpr int kClientHeight = 208;
constexpr int kListHeight = 161;
constexpr int kButtonTop = 176;
constexpr int kButtonWidth = 97;
constexpr int kButtonHeight = 25;
constexpr int kCancelLeft = 152;
constexpr int kOkLeft = 256;
constexpr int kGlyphSize = 16;

// Draws a row from its device object; the entry's own text is empty and never drawn.
class DeviceRowDelegate : public QStyledItemDelegate {
public:
    explicit DeviceRowDelegate(TUdpSearchForm *form) : QStyledItemDelegate(form), m_form(form) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override {
        const QRect &rect = option.rect;
        const QPalette &palette = option.palette;
        QColor brush;
        QColor text;
        if (option.state & QStyle::State_Selected) {
            brush = QColor(TUdpSearchForm::kSelectedRowColour);
            text = palette.color(QPalette::HighlightedText);
        } else {
            text = palette.color(QPalette::WindowText);
            brush = (index.row() % 2 != 0) ? QColor(TUdpSearchForm::kOddRowColour)
                                           : palette.color(QPalette::Base);
        }
        painter->save();
        painter->fillRect(rect, brush);
        if (const TDeviceObject *device = m_form->Device(index.row())) {
            const QFontMetrics metrics(option.font);
            const int lineHeight = metrics.height();
            const int y = rect.top() + TUdpSearchForm::kItemHeight / 2 - lineHeight / 2;
            painter->setFont(option.font);
            painter->setPen(text);
            const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
            painter->drawText(QRect(TUdpSearchForm::kAddressX, y, rect.right(), lineHeight), flags,
                              device->Address());
            painter->drawText(QRect(TUdpSearchForm::kTypeNameX, y, rect.right(), lineHeight), flags,
                              device->TypeName());
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override {
        return {option.rect.width(), TUdpSearchForm::kItemHeight};
    }

private:
    const TUdpSearchForm *m_form = nullptr;
};

// A glyph of the two buttons: a check mark for OK, a cross for Cancel, drawn in colour for the
// enabled state and in grey for the disabled one.
QIcon makeGlyph(bool check, QColor colour) {
    QIcon icon;
    for (const bool enabled : {true, false}) {
        QPixmap pixmap(kGlyphSize, kGlyphSize);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(enabled ? colour : QColor(160, 160, 160), 2.5, Qt::SolidLine,
                            Qt::RoundCap, Qt::RoundJoin));
        QPainterPath path;
        if (check) {
            path.moveTo(3, 8.5);
            path.lineTo(6.5, 12);
            path.lineTo(13, 4);
        } else {
            path.moveTo(4, 4);
            path.lineTo(12, 12);
            path.moveTo(12, 4);
            path.lineTo(4, 12);
        }
        painter.drawPath(path);
        painter.end();
        icon.addPixmap(pixmap, enabled ? QIcon::Normal : QIcon::Disabled);
    }
    return icon;
}

} // namespace

TUdpSearchForm::TUdpSearchForm(QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint) {
    CreateControls();
    ConnectControls();
}

TUdpSearchForm::~TUdpSearchForm() = default;

void TUdpSearchForm::CreateControls() {
    setWindowTitle(tr("Device List"));
    setObjectName(QStringLiteral("UdpSearchForm"));
    // The platform's dialog font at the size the layout was made for.
    QFont dialogFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    dialogFont.setPointSize(8);
    setFont(dialogFont);
    setFixedSize(kClientWidth, kClientHeight);

    m_modulesListBox = new QListWidget(this);
    m_modulesListBox->setObjectName(QStringLiteral("ModulesListBox"));
    m_modulesListBox->setGeometry(0, 0, kClientWidth, kListHeight);
    m_modulesListBox->setSelectionMode(QAbstractItemView::SingleSelection);
    m_modulesListBox->setUniformItemSizes(true);
    m_modulesListBox->setItemDelegate(new DeviceRowDelegate(this));
    m_modulesListBox->viewport()->installEventFilter(this);

    m_closeBitBtn = new QPushButton(makeGlyph(false, QColor(200, 30, 30)), tr("&Cancel"), this);
    m_closeBitBtn->setObjectName(QStringLiteral("CloseBitBtn"));
    m_closeBitBtn->setGeometry(kCancelLeft, kButtonTop, kButtonWidth, kButtonHeight);
    m_closeBitBtn->setAutoDefault(false);

    m_okBitBtn = new QPushButton(makeGlyph(true, QColor(20, 140, 40)), tr("&OK"), this);
    m_okBitBtn->setObjectName(QStringLiteral("OKBitBtn"));
    m_okBitBtn->setGeometry(kOkLeft, kButtonTop, kButtonWidth, kButtonHeight);
    m_okBitBtn->setDefault(true);
    m_okBitBtn->setEnabled(false);

    setTabOrder(m_modulesListBox, m_closeBitBtn);
    setTabOrder(m_closeBitBtn, m_okBitBtn);
}

void TUdpSearchForm::ConnectControls() {
    connect(m_modulesListBox, &QListWidget::itemSelectionChanged, this,
            &TUdpSearchForm::ModulesListBoxClick);
    connect(m_closeBitBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_okBitBtn, &QPushButton::clicked, this, &QDialog::accept);
}

void TUdpSearchForm::AddDevice(std::unique_ptr<TDeviceObject> device) {
    if (!device)
        return;
    m_devices.push_back(std::move(device));
    auto *item = new QListWidgetItem(m_modulesListBox);
    item->setSizeHint(QSize(0, kItemHeight));
}

const TDeviceObject *TUdpSearchForm::Device(int position) const {
    if (position < 0 || position >= DeviceCount())
        return nullptr;
    return m_devices[static_cast<size_t>(position)].get();
}

void TUdpSearchForm::ModulesListBoxClick() {
    const QList<QListWidgetItem *> selected = m_modulesListBox->selectedItems();
    const TDeviceObject *device =
        selected.isEmpty() ? nullptr : Device(m_modulesListBox->row(selected.first()));
    m_selectedIndex = device != nullptr ? device->Index() : -1;
    m_okBitBtn->setEnabled(m_selectedIndex != -1);
}

void TUdpSearchForm::ModulesListBoxDblClick() {
    // As a click of OK made by program: it closes with the OK result whether or not the button
    // is enabled.
    accept();
}

void TUdpSearchForm::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    m_modulesListBox->setFocus();
    if (m_modulesListBox->count() > 0) {
        m_modulesListBox->setCurrentRow(0);
        ModulesListBoxClick();
    }
}

bool TUdpSearchForm::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_modulesListBox->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        ModulesListBoxDblClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace kvgapi
