#pragma once
// The about window without its widgets (frmabout): its texts. The product line is the main
// window's caption, taken when the window opens.
#include <string>
#include <utility>

namespace qob {

inline constexpr char kAboutCaption[] = "About Quire Outlook Backup";
inline constexpr char kAboutThanks[] = "Thank you for using our product.";
inline constexpr char kAboutNotice[] =
    "Quire Outlook Backup keeps an Outlook mail profile - its data files, accounts, rules, "
    "signatures and settings - in one backup file, and restores it into any profile. Keep your "
    "backup files somewhere safe, away from the computer they protect.";

// The program's version, as the build names it ("0.1.0").
std::string productVersion();
// The main window's caption: the product name and its version.
std::string mainWindowCaption();

struct AboutForm {
    explicit AboutForm(std::string mainCaption) : productLine(std::move(mainCaption)) {}

    std::string caption = kAboutCaption;
    std::string productLine; // SkinLabel2
    std::string thanks = kAboutThanks;
    std::string notice = kAboutNotice;
};

} // namespace qob
