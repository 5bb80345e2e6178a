#pragma once

#include <QString>
#include <QWidget>

class QPushButton;

// The soft-key bar at the foot of a screen or popup: key 0 on the left, key 1 on the right.
// A key with text triggers the slots set for it on a click or on its hardware key; a key
// without text does nothing. A Qt child of its parent.
class PlSoftKey : public QWidget {
    Q_OBJECT

public:
    // `type` names the bar layout ("CST_2A": two keys); `owner` is kept for the callers' sake.
    PlSoftKey(const char *type, QWidget *parent, QObject *owner);
    ~PlSoftKey() override;

    void setText(int index, const QString &text, int priority);
    QString text(int index) const;

    // Calls (receiver->*slot)() each time key `index` is triggered; the connection ends with
    // the receiver.
    template <typename Receiver, typename Slot>
    void setClickedSlot(int index, Receiver *receiver, Slot slot)
    {
        connect(this, &PlSoftKey::keyTriggered, receiver, [receiver, slot, index](int key) {
            if (key == index) {
                (receiver->*slot)();
            }
        });
    }

    // Triggers key `index` as its hardware key does; returns whether it had text.
    bool trigger(int index);
    // The key a hardware key works, on screens and popups alike: 0 for F1 and Context1, 1 for
    // F2, Context2, Escape and Back, -1 for any other key.
    static int keyIndex(int key);

    static constexpr int KeyCount = 2;

signals:
    void keyTriggered(int index);

private:
    Q_DISABLE_COPY(PlSoftKey)
    QPushButton *m_keys[KeyCount];
};
