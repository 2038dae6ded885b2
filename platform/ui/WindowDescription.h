#pragma once

// WindowDescription: a dialog's window, its views, and how they connect to the controller that
// owns them, read from a JSON resource "<Name>.window.json" in a bundle:
//
//   {
//     "window":  { "title": "Duplicate", "width": 420, "height": 160, "closable": true },
//     "views": [
//       { "class": "Label",       "frame": [20, 20, 120, 22], "text": "Form template:" },
//       { "class": "PopUpButton", "id": "templates", "frame": [150, 20, 250, 22] },
//       { "class": "TextField",   "id": "name", "placeholder": "New name" },
//       { "class": "CheckBox",    "id": "all", "title": "All users", "state": 0 },
//       { "class": "Button",      "id": "ok", "title": "Duplicate", "action": "runAction:",
//         "keyEquivalent": "\r", "tag": 1 },
//       { "class": "ImageView",   "image": "DLAppIcon" },
//       { "class": "TableView",   "id": "users", "columns": [ { "id": "name", "title": "Name" },
//                                                      { "id": "on", "title": "On", "checkbox": true } ] },
//       { "class": "View",        "id": "box", "views": [ ... nested ... ] }
//     ],
//     "outlets": { "existingFormDefPopUp": "templates", "duplicateFormDefNameTextField": "name" }
//   }
//
// The "window" outlet is always connected. Actions go to the owner (the controller). Every view
// "id" must be unique; an outlet naming an unknown view or one the owner does not have, an
// action the owner does not answer, or an unknown class is an error naming the file and item.

#include <filesystem>
#include <string>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

namespace platform {

class WindowController;

class WindowDescription {
public:
    static Result<WindowDescription> loadNamed(const Bundle& bundle, const std::string& name);
    static Result<WindowDescription> parse(const std::string& text, std::string sourceName);

    // Builds the window and its views and connects them to `owner`.
    Status instantiate(WindowController& owner) const;

private:
    WindowDescription(Value root, std::string sourceName)
        : m_root(std::move(root)), m_source(std::move(sourceName)) {}
    Value m_root;
    std::string m_source;
};

}  // namespace platform
