#include "ui/framework/template_dialog.h"

#include "ui/framework/controls.h"
#include "ui/framework/data_exchange.h"
#include "ui/framework/modals.h"
#include "ui/framework/multi_line_edit.h"
#include "ui/framework/standard_ids.h"
#include "ui/framework/template_table.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace korvane::ui {

QString templateText(const char* text)
{
    // An empty source text would fetch the catalogue's header.
    if (!text || !*text)
        return {};
    return QCoreApplication::translate(kTemplateContext, text);
}

TemplateDialog::TemplateDialog(const TemplateTable& templates, int templateId, QWidget* parent)
    : QDialog(parent), templates_(templates), templateId_(templateId)
{
}

TemplateDialog::~TemplateDialog() = default;

bool TemplateDialog::Create()
{
    if (created_)
        return true;
    template_ = templates_.findDialogTemplate(templateId_);
    if (!template_)
        return false;

    const QFont font = dialogFont(QString::fromUtf8(template_->fontFace), template_->pointSize);
    setFont(font);
    units_ = DialogUnits::fromFont(font);
    setWindowTitle(templateText(template_->title));
    Qt::WindowFlags flags = (template_->style & kAppWindow ? Qt::Window : Qt::Dialog) | Qt::CustomizeWindowHint |
                            Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (template_->style & kMinimizeBox)
        flags |= Qt::WindowMinimizeButtonHint;
    setWindowFlags(flags);
    setSizeGripEnabled(false);
    setFixedSize(units_->toPixels(template_->size));

    QWidget* previousTabStop = nullptr;
    QWidget* firstTabStop = nullptr;
    for (const ControlTemplate& item : template_->controls) {
        QWidget* control = createControl(item);
        controls_.push_back(control);
        if (item.id != IDC_STATIC)
            byId_[item.id] = control;
        if (item.style & kTabStop) {
            if (previousTabStop)
                setTabOrder(previousTabStop, control);
            else
                firstTabStop = control;
            previousTabStop = control;
        }
    }
    systemMenu_ = std::make_unique<SystemMenu>((template_->style & kMinimizeBox) != 0);
    created_ = true;

    // Qt keeps the last push button that had the focus marked as default
    // after the focus has left it; away from the buttons only the template's
    // default button is.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (!now || now->window() != this || qobject_cast<QPushButton*>(now))
            return;
        for (std::size_t k = 0; k < controls_.size(); ++k) {
            if (auto* button = qobject_cast<QPushButton*>(controls_[k]))
                button->setDefault((template_->controls[k].style & kDefaultButton) != 0);
        }
    });

    if (OnInitDialog() && firstTabStop)
        firstTabStop->setFocus(Qt::TabFocusReason);
    return true;
}

QWidget* TemplateDialog::createControl(const ControlTemplate& item)
{
    QRect rect = units_->toPixels(item.rect);
    QWidget* control = nullptr;
    switch (item.kind) {
    case ControlKind::PushButton: control = createPushButton(item); break;
    case ControlKind::Label: control = createLabel(item, rect); break;
    case ControlKind::Edit: control = createEdit(item); break;
    case ControlKind::Progress: {
        auto* bar = new QProgressBar(this);
        bar->setTextVisible(false);
        bar->setRange(0, 100);
        bar->setValue(0);
        control = bar;
        break;
    }
    case ControlKind::Icon: {
        // An icon control takes the size of its picture.
        auto* picture = new QLabel(this);
        const QPixmap pixmap = templates_.loadIcon(item.resource).pixmap(QSize(32, 32));
        picture->setPixmap(pixmap);
        rect.setSize(pixmap.deviceIndependentSize().toSize());
        control = picture;
        break;
    }
    }
    if (item.style & kTabStop)
        control->setFocusPolicy(Qt::StrongFocus);
    else if (item.kind == ControlKind::PushButton || item.kind == ControlKind::Edit)
        control->setFocusPolicy(Qt::ClickFocus);
    else
        control->setFocusPolicy(Qt::NoFocus);
    control->setProperty("controlId", item.id);
    control->setGeometry(rect);
    return control;
}

QWidget* TemplateDialog::createPushButton(const ControlTemplate& item)
{
    auto* button = new QPushButton(templateText(item.text), this);
    // A push button with the focus is pressed by Enter.
    button->setAutoDefault(true);
    button->setDefault((item.style & kDefaultButton) != 0);
    connect(button, &QPushButton::clicked, this, [this, id = item.id] { OnCommand(id); });
    return button;
}

QWidget* TemplateDialog::createLabel(const ControlTemplate& item, QRect& rect)
{
    const QString text = templateText(item.text);
    // Plain text, so that an '&' is shown as it is.
    auto* label = new QLabel(this);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap((item.style & kWordWrap) != 0);
    // The rectangles were measured for the template's own font; where a
    // wider font stands in for it, a one-line label grows to the right to
    // show its whole text, up to the dialog's edge.
    if (!(item.style & kWordWrap)) {
        const int needed = QFontMetrics(font()).horizontalAdvance(text) + 1;
        const int room = units_->toPixels(template_->size).width() - rect.x();
        if (needed > rect.width())
            rect.setWidth(std::max(rect.width(), std::min(needed, room)));
    }
    return label;
}

QWidget* TemplateDialog::createEdit(const ControlTemplate& item)
{
    const unsigned style = item.style;
    if (style & kMultiLine) {
        QAbstractScrollArea* area = nullptr;
        if (style & kReadOnly) {
            area = new MultiLineEdit(this);
        } else {
            auto* editable = new QPlainTextEdit(this);
            editable->setLineWrapMode(QPlainTextEdit::NoWrap);
            editable->setTabChangesFocus(true);
            area = editable;
        }
        area->setVerticalScrollBarPolicy(style & kVScroll ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        area->setHorizontalScrollBarPolicy(style & kHScroll ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        if (!(style & kBorder))
            area->setFrameShape(QFrame::NoFrame);
        return area;
    }
    QLineEdit* edit = style & kStaticEdge ? new EdgedLineEdit(this) : new QLineEdit(this);
    if (!(style & kStaticEdge))
        edit->setFrame((style & kBorder) != 0);
    edit->setReadOnly((style & kReadOnly) != 0);
    return edit;
}

int TemplateDialog::DoModal()
{
    if (!Create())
        return -1;
    if (!parentWidget()) {
        QWidget* owner = QApplication::activeModalWidget();
        if (!owner)
            owner = QApplication::activeWindow();
        if (owner && owner != this)
            setParent(owner, windowFlags());
    }
    return modals().execDialog(*this);
}

void TemplateDialog::EndDialog(int result)
{
    done(result);
}

QWidget* TemplateDialog::GetDlgItem(int id) const
{
    const auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : it->second;
}

const DialogUnits& TemplateDialog::dialogUnits() const
{
    return *units_;
}

bool TemplateDialog::UpdateData(bool saveAndValidate)
{
    DataExchange dx(*this, saveAndValidate);
    DoDataExchange(dx);
    return true;
}

void TemplateDialog::DoDataExchange(DataExchange&) {}

bool TemplateDialog::OnInitDialog()
{
    UpdateData(false);
    return true;
}

void TemplateDialog::OnOK()
{
    UpdateData(true);
    EndDialog(IDOK);
}

void TemplateDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void TemplateDialog::OnCommand(int id)
{
    if (id == IDOK)
        OnOK();
    else if (id == IDCANCEL)
        OnCancel();
}

void TemplateDialog::accept()
{
    OnCommand(IDOK);
}

void TemplateDialog::reject()
{
    OnCommand(IDCANCEL);
}

SystemMenu* TemplateDialog::GetSystemMenu(bool revert)
{
    if (!created_)
        return nullptr;
    if (revert) {
        systemMenu_ = std::make_unique<SystemMenu>((template_->style & kMinimizeBox) != 0);
        return nullptr;
    }
    return systemMenu_.get();
}

void TemplateDialog::showSystemMenu(const QPoint& globalPos)
{
    const SystemMenu* menu = GetSystemMenu(false);
    if (!menu)
        return;
    const std::unique_ptr<QMenu> popup = menu->createPopup(this);
    if (const QAction* chosen = modals().popupMenu(*popup, globalPos))
        OnSysCommand(chosen->data().toUInt(), 0);
}

void TemplateDialog::OnSysCommand(unsigned id, qintptr)
{
    DefaultSysCommand(id);
}

void TemplateDialog::DefaultSysCommand(unsigned id)
{
    switch (id & kSysCommandMask) {
    case kScMinimize: showMinimized(); break;
    case kScClose: close(); break;
    default: break;
    }
}

int TemplateDialog::defaultCommand() const
{
    // The template's default push button; Qt also marks a push button as
    // default while it has the focus, but such a button takes Enter itself.
    for (std::size_t k = 0; k < controls_.size(); ++k) {
        const ControlTemplate& item = template_->controls[k];
        if (item.kind == ControlKind::PushButton && (item.style & kDefaultButton) && controls_[k]->isEnabled())
            return item.id;
    }
    return IDOK;
}

void TemplateDialog::keyPressEvent(QKeyEvent* event)
{
    // Keys that the control with the focus left alone.
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    if (modifiers == Qt::NoModifier && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        OnCommand(defaultCommand());
    } else if (modifiers == Qt::NoModifier && key == Qt::Key_Escape) {
        OnCommand(IDCANCEL);
    } else if (modifiers == Qt::NoModifier && key == Qt::Key_Menu) {
        // Some window systems follow the key with a context menu event of
        // their own; the menu opens on the release where none came.
        menuKeyDown_ = true;
    } else if (modifiers == Qt::ShiftModifier && key == Qt::Key_F10) {
        showSystemMenu(mapToGlobal(QPoint(0, 0)));
    } else {
        QDialog::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TemplateDialog::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Menu && menuKeyDown_) {
        menuKeyDown_ = false;
        showSystemMenu(mapToGlobal(QPoint(0, 0)));
        event->accept();
        return;
    }
    QDialog::keyReleaseEvent(event);
}

void TemplateDialog::contextMenuEvent(QContextMenuEvent* event)
{
    // Reaches the dialog from its background, its labels, buttons and bar;
    // the boxes have menus of their own.
    menuKeyDown_ = false;
    showSystemMenu(event->reason() == QContextMenuEvent::Mouse ? event->globalPos() : mapToGlobal(QPoint(0, 0)));
    event->accept();
}

} // namespace korvane::ui
