#include "PlSoftKey.h"

#include <QHBoxLayout>
#include <QPushButton>

PlSoftKey::PlSoftKey(const char *type, QWidget *parent, QObject *owner) : QWidget(parent)
{
    Q_UNUSED(type);
    Q_UNUSED(owner);
    setObjectName(QStringLiteral("PlSoftKey"));
    setAutoFillBackground(true);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    for (int i = 0; i < KeyCount; ++i) {
        auto *key = new QPushButton(this);
        key->setFlat(true);
        key->setAutoDefault(false);
        key->setDefault(false);
        // The keys are worked by the hardware keys; the focus stays in the content.
        key->setFocusPolicy(Qt::NoFocus);
        key->setMinimumHeight(26);
        key->setStyleSheet(QStringLiteral("QPushButton { color: white; font-weight: bold; "
                                          "border: none; padding: 2px 6px; }"
                                          "QPushButton:pressed { background: #3d6db0; }"));
        connect(key, &QPushButton::clicked, this, [this, i] { trigger(i); });
        m_keys[i] = key;
    }
    layout->addWidget(m_keys[0], 0, Qt::AlignLeft);
    layout->addStretch(1);
    layout->addWidget(m_keys[1], 0, Qt::AlignRight);
    setStyleSheet(QStringLiteral("PlSoftKey { background: #1f2a38; }"));
    setAttribute(Qt::WA_StyledBackground, true);
    for (int i = 0; i < KeyCount; ++i) {
        m_keys[i]->setVisible(false);
    }
}

PlSoftKey::~PlSoftKey() = default;

void PlSoftKey::setText(int index, const QString &text, int priority)
{
    Q_UNUSED(priority);
    if (index < 0 || index >= KeyCount) {
        return;
    }
    m_keys[index]->setText(text);
    m_keys[index]->setAccessibleName(text);
    m_keys[index]->setVisible(!text.isEmpty());
}

QString PlSoftKey::text(int index) const
{
    if (index < 0 || index >= KeyCount) {
        return QString();
    }
    return m_keys[index]->text();
}

int PlSoftKey::keyIndex(int key)
{
    switch (key) {
    case Qt::Key_F1:
    case Qt::Key_Context1:
        return 0;
    case Qt::Key_F2:
    case Qt::Key_Context2:
    case Qt::Key_Escape:
    case Qt::Key_Back:
        return 1;
    default:
        return -1;
    }
}

bool PlSoftKey::trigger(int index)
{
    if (text(index).isEmpty()) {
        return false;
    }
    emit keyTriggered(index);
    return true;
}
