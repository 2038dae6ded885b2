#pragma once

// KOPAHelper: how the framework finds its way into the running host -- its current document,
// main window, the database context behind that window, the settings store and the signed-in
// user -- and the framework's own texts. Every answer is derived afresh from the host's state
// on each call; nothing is cached. "The current database" means objectContext() everywhere.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/AttributedString.h"

class DLMainWindowController;
class DLPObject;
class DLPObjectContext;
class DLTabViewSlideoverContainer;
class GWUser;
class MCUserDefaults;

namespace platform {
class Bundle;
class Document;
class Font;
class Image;
class Object;
class Window;
}  // namespace platform

class KOPAHelper {
public:
    // The framework string table "VEXAFramework" of the plug-in's own bundle; a missing key
    // gives the key itself.
    static std::string VEXAlocalizeString(const std::string& key);
    // The bundle this code was loaded from (the plug-in bundle), or none when it cannot be found.
    static std::shared_ptr<platform::Bundle> frameworkBundle();

    static std::shared_ptr<DLMainWindowController> activeMainWindowController();
    static std::shared_ptr<platform::Window> activeMainWindow();
    static std::shared_ptr<platform::Document> mainDocument();
    static std::shared_ptr<DLPObjectContext> objectContext();
    // Shares ownership of the context, so it stays valid however long the caller keeps it.
    static std::shared_ptr<MCUserDefaults> mcUserDefaults();
    static std::shared_ptr<GWUser> activeUser();

    // The host's view framework: Frameworks/DLViews.framework inside the host application's
    // bundle (the main bundle). Its images are found by the bundle resource search.
    static std::optional<std::filesystem::path> hostViewFrameworkDirectory();
    // An image shipped in the host's view framework: resource `name` of type `type` ("png";
    // empty when the name carries its extension). None when there is no such picture.
    static std::shared_ptr<platform::Image> dayliteImageNamed(const std::string& name,
                                                              const std::string& type);

    // Pushes the host's slide-over panel showing `object` (for editing or reading) on a host
    // view near the user's focus: the slide-over host around the main window's first responder,
    // else the tab view of the content view the main window shows (the calendar's list, a dual
    // list's detail). Never throws: when no host view is found the log says "could not push
    // sliedover" and the result is none.
    static std::shared_ptr<DLTabViewSlideoverContainer> pushTabViewSlideoverWithObject(
        const std::shared_ptr<platform::Object>& object, bool editing);

    // A small HTML text as styled text in `font` (the system font when none): the HTML is
    // wrapped in a block setting the font's family and its size in whole pixels, then read by
    // the platform's HTML reader. None when the reader cannot read it.
    static std::optional<platform::AttributedString> stringFromHTML(const std::string& html,
                                                                    const platform::Font* font);
};
