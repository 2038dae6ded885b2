#include "platform/ui/ScriptedFrontEnd.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "platform/runtime/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/FrontEndSupport.h"
#include "platform/ui/Menu.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"

namespace platform {

ScriptedFrontEnd::ScriptedFrontEnd(bool install) : m_installed(install) {
    if (install) Application::shared().setFrontEnd(this);
}

ScriptedFrontEnd::~ScriptedFrontEnd() {
    if (m_installed && Application::shared().frontEnd() == this) Application::shared().setFrontEnd(nullptr);
}

void ScriptedFrontEnd::answerAlert(std::string buttonTitle) {
    m_answers.push_back({std::move(buttonTitle), 0});
}

void ScriptedFrontEnd::answerAlertWithReturn(int returnValue) {
    m_answers.push_back({std::nullopt, returnValue});
}

const RecordedAlert& ScriptedFrontEnd::lastAlert() const {
    if (m_alerts.empty()) throw ScriptedFrontEndError("no alert has been shown");
    return m_alerts.back();
}

int ScriptedFrontEnd::runAlert(const AlertRequest& alert) {
    auto& app = Application::shared();
    RecordedAlert record;
    record.title = alert.title;
    record.message = alert.message;
    record.informational = alert.informational;
    for (const auto& b : alertButtons(alert)) record.buttons.push_back(b.title);
    if (auto key = app.keyWindow()) {
        record.hadKeyWindow = true;
        record.keyWindowTitle = key->title();
    }
    for (const auto& w : app.windows())
        if (w->attachedSheet() || w->isSheet()) record.sheetOpen = true;
    record.modalDepth = app.modalDepth();

    auto describe = [&] { return fmt::format("alert \"{}\" (\"{}\")", alert.title, alert.message); };
    if (m_answers.empty()) {
        m_alerts.push_back(record);  // shown, even though the script cannot answer it
        throw ScriptedFrontEndError(fmt::format("{} was shown but no scripted answer is left", describe()));
    }
    Answer answer = m_answers.front();
    m_answers.pop_front();

    auto buttons = alertButtons(alert);
    std::optional<int> value;
    if (answer.title) {
        value = alertReturnForTitle(alert, *answer.title);
    } else {
        for (const auto& b : buttons)
            if (b.returnValue == answer.returnValue) value = b.returnValue;
    }
    if (!value) {
        m_alerts.push_back(record);
        throw ScriptedFrontEndError(fmt::format("{} has no button {} (its buttons: {})", describe(),
                                                answer.title
                                                    ? fmt::format("\"{}\"", *answer.title)
                                                    : fmt::format("returning {}", answer.returnValue),
                                                fmt::join(record.buttons, ", ")));
    }
    record.answer = *value;
    for (const auto& b : buttons)
        if (b.returnValue == *value) record.answerTitle = b.title;
    m_alerts.push_back(record);
    return *value;
}

bool ScriptedFrontEnd::openURL(const std::string& url) {
    m_openedURLs.push_back(url);
    return m_openURLSucceeds;
}

std::shared_ptr<Window> ScriptedFrontEnd::keyWindow() const {
    auto key = Application::shared().keyWindow();
    if (!key) throw ScriptedFrontEndError("no window is key");
    return key;
}

const Window& ScriptedFrontEnd::windowOrKey(const Window* window, std::shared_ptr<Window>& keep) const {
    if (window) return *window;
    keep = keyWindow();
    return *keep;
}

ScriptedFrontEndError ScriptedFrontEnd::wrongClass(const std::string& identifier, const View& view) {
    return ScriptedFrontEndError(
        fmt::format("view \"{}\" is a {}, not the kind of control asked for", identifier, view.className()));
}

std::shared_ptr<View> ScriptedFrontEnd::findView(const std::string& identifier, const Window* window) const {
    std::shared_ptr<Window> keep;
    const Window& w = windowOrKey(window, keep);
    auto view = findVisibleView(w, identifier);
    if (!view)
        throw ScriptedFrontEndError(fmt::format("window \"{}\" shows no view \"{}\"", w.title(), identifier));
    return view;
}

std::shared_ptr<Button> ScriptedFrontEnd::findButton(const std::string& identifierOrTitle,
                                                     const Window* window) const {
    std::shared_ptr<Window> keep;
    const Window& w = windowOrKey(window, keep);
    if (auto view = findVisibleView(w, identifierOrTitle)) {
        auto button = std::dynamic_pointer_cast<Button>(view);
        if (!button) throw wrongClass(identifierOrTitle, *view);
        return button;
    }
    if (auto button = findVisibleButton(w, identifierOrTitle)) return button;
    throw ScriptedFrontEndError(fmt::format("window \"{}\" shows no button with identifier or title \"{}\"",
                                            w.title(), identifierOrTitle));
}

bool ScriptedFrontEnd::chooseMenu(const std::vector<std::string>& path) {
    auto menu = Application::shared().mainMenu();
    if (!menu) throw ScriptedFrontEndError("the application has no menu bar");
    auto found = findMenuItem(*menu, path);
    if (!found.item)
        throw ScriptedFrontEndError(fmt::format("menu path \"{}\": {}", fmt::join(path, " > "), found.error));
    if (found.item->hasSubmenu())
        throw ScriptedFrontEndError(
            fmt::format("menu path \"{}\" ends at a submenu, not a command", fmt::join(path, " > ")));
    return found.item->performAction();
}

bool ScriptedFrontEnd::chooseMenu(const std::string& path) {
    return chooseMenu(splitMenuPath(path));
}

bool ScriptedFrontEnd::selectPopUpItem(const std::string& identifier, int64_t index, const Window* window) {
    auto popUp = find<PopUpButton>(identifier, window);
    if (index < 0 || static_cast<size_t>(index) >= popUp->numberOfItems())
        throw ScriptedFrontEndError(fmt::format("pop-up \"{}\" has no item {} (it has {} items)", identifier,
                                                index, popUp->numberOfItems()));
    return popUp->chooseItemAtIndex(index);
}

bool ScriptedFrontEnd::selectPopUpItem(const std::string& identifier, const std::string& title,
                                       const Window* window) {
    auto popUp = find<PopUpButton>(identifier, window);
    auto titles = popUp->itemTitles();
    for (size_t i = 0; i < titles.size(); ++i)
        if (titles[i] == title) return popUp->chooseItemAtIndex(static_cast<int64_t>(i));
    throw ScriptedFrontEndError(fmt::format("pop-up \"{}\" has no item \"{}\" (its items: {})", identifier,
                                            title, fmt::join(titles, ", ")));
}

bool ScriptedFrontEnd::typeText(const std::string& identifier, const std::string& text,
                                const Window* window) {
    return find<TextField>(identifier, window)->typeText(text);
}

bool ScriptedFrontEnd::pressButton(const std::string& identifierOrTitle, const Window* window) {
    return findButton(identifierOrTitle, window)->performClick();
}

bool ScriptedFrontEnd::tickCheckBox(const std::string& identifier, const Window* window) {
    auto box = find<Button>(identifier, window);
    if (box->kind() != Button::Kind::CheckBox)
        throw ScriptedFrontEndError(fmt::format("\"{}\" is a push button, not a check box", identifier));
    return box->performClick();
}

bool ScriptedFrontEnd::tickTableCell(const std::string& tableIdentifier, size_t row,
                                     const std::string& columnIdentifier, const Window* window) {
    auto table = find<TableView>(tableIdentifier, window);
    const auto& columns = table->tableColumns();
    auto boxes = checkBoxColumns(*table);
    std::optional<size_t> column;
    for (size_t c : boxes)
        if (columnIdentifier.empty() ? boxes.size() == 1 : columns[c].identifier == columnIdentifier)
            column = c;
    if (!column && columnIdentifier.empty())
        throw ScriptedFrontEndError(
            fmt::format("table \"{}\" has {} check-box columns: name one", tableIdentifier, boxes.size()));
    if (!column)
        throw ScriptedFrontEndError(
            fmt::format("table \"{}\" has no check-box column \"{}\"", tableIdentifier, columnIdentifier));
    if (row >= table->numberOfRows())
        throw ScriptedFrontEndError(fmt::format("table \"{}\" has no row {} (it has {} rows)",
                                                tableIdentifier, row, table->numberOfRows()));
    if (!table->isEnabled()) return false;
    // The box as the script last saw it (read or reloaded), not as the data source has it now.
    return table->toggleCheckBoxAt(*column, row);
}

std::shared_ptr<Menu> ScriptedFrontEnd::contextualMenu(const Window* window) const {
    std::shared_ptr<Window> keep;
    const Window& w = windowOrKey(window, keep);
    auto found = contextualMenuOfSelectedRow(w);
    if (!found.menu) throw ScriptedFrontEndError(fmt::format("window \"{}\": {}", w.title(), found.error));
    return found.menu;
}

bool ScriptedFrontEnd::chooseContextualMenuItem(const std::string& title, const Window* window) {
    auto menu = contextualMenu(window);
    auto found = findMenuItem(*menu, std::vector<std::string>{title});
    if (!found.item) throw ScriptedFrontEndError(fmt::format("contextual menu: {}", found.error));
    return found.item->performAction();
}

bool ScriptedFrontEnd::closeWindow(const Window* window) {
    std::shared_ptr<Window> target = window ? const_cast<Window*>(window)->sharedAs<Window>() : keyWindow();
    if (!target->isClosable()) return false;
    target->performClose();
    return true;
}

void ScriptedFrontEnd::later(std::function<void()> action) {
    RunLoop::main().dispatchAsync(std::move(action));
}

}  // namespace platform
