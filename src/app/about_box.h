#pragma once
#include <QDialog>

namespace vexa::app {

inline constexpr const char* kHelpPageUrl = "https://vexa.example.org/help/";
inline constexpr const char* kHomePageUrl = "https://vexa.example.org/";

// "关于软件": product name, version and the maker's contacts.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
};

}  // namespace vexa::app
