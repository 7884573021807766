#pragma once
// The seven skins, as style sheets, and the skin selection dialog.
#include <QDialog>
#include <QString>

class QListWidget;

namespace vexa::app {

inline constexpr int kSkinCountUi = 7;

// "土星战甲" ... "水星战甲"; empty outside 0..6.
QString SkinName(int index);
// The style sheet of a skin; skin 0's for an index outside 0..6.
QString SkinStyleSheet(int index);
// The one look the toolbar and the two format pickers keep whatever the skin.
QString FixedStyleSheet();

class TSkinDialog : public QDialog {
    Q_OBJECT
public:
    TSkinDialog(int current, QWidget* parent = nullptr);
    int chosenSkin() const;
    QListWidget* list() const { return list_; }

private:
    QListWidget* list_;
};

}  // namespace vexa::app
