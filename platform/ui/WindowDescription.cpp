#include "platform/ui/WindowDescription.h"

#include <fmt/format.h>

#include <cmath>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowController.h"

namespace platform {

Result<WindowDescription> WindowDescription::loadNamed(const Bundle& bundle, const std::string& name) {
    auto path = bundle.pathForResource(name + ".window.json");
    if (!path)
        return Status::error(fmt::format(
            "window description \"{}\" not found in bundle {} (expected Resources/{}.window.json)", name,
            bundle.bundlePath().string(), name));
    std::ifstream in(*path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in && !in.eof())
        return Status::error(fmt::format("cannot read window description {}", path->string()));
    return parse(text.str(), path->string());
}

Result<WindowDescription> WindowDescription::parse(const std::string& text, std::string sourceName) {
    try {
        Value root = Value::parseJson(text);
        if (!root.isDictionary() || !root.find("window"))
            return Status::error(
                fmt::format("window description {}: expected an object with a \"window\" entry", sourceName));
        return WindowDescription(std::move(root), std::move(sourceName));
    } catch (const ValueError& e) {
        return Status::error(
            fmt::format("window description {} is not valid JSON: {}", sourceName, e.what()));
    }
}

namespace {

// Coordinates and sizes beyond this are no layout but a broken description (1e99 would make
// later integer arithmetic on frames meaningless).
constexpr double kLargestCoordinate = 1'000'000;

bool isCoordinate(const Value& n) {
    return n.isNumber() && std::abs(n.asReal()) <= kLargestCoordinate;
}

// A frame that is there but not four numbers is an error: asReal() would throw out of loading.
std::optional<Rect> frameOf(const Value& item) {
    const Value* f = item.find("frame");
    if (!f) return Rect{0, 0, 100, 22};
    if (!f->isArray() || f->asArray().size() != 4) return std::nullopt;
    for (const auto& n : f->asArray())
        if (!isCoordinate(n)) return std::nullopt;
    return Rect{f->at(0).asReal(), f->at(1).asReal(), f->at(2).asReal(), f->at(3).asReal()};
}

// The window's width or height: the fallback when absent, an error when not a size.
Result<double> windowSize(const Value& window, const char* key, double fallback, const std::string& source) {
    const Value* size = window.find(key);
    if (!size) return fallback;
    if (!isCoordinate(*size) || size->asReal() < 0)
        return Status::error(
            fmt::format("window description {}: the window's \"{}\" must be a number from 0 to {} (found {})",
                        source, key, kLargestCoordinate, size->description()));
    return size->asReal();
}

Result<std::shared_ptr<View>> makeView(const Value& item, const std::string& source) {
    std::string cls = item.value("class", std::string_view("View"));
    std::shared_ptr<View> view;
    if (cls == "View") {
        view = std::make_shared<View>();
    } else if (cls == "Button" || cls == "CheckBox") {
        auto b = std::make_shared<Button>(item.value("title", std::string_view{}),
                                          cls == "CheckBox" ? Button::Kind::CheckBox : Button::Kind::Push);
        b->setState(static_cast<int>(item.value("state", int64_t{0})));
        b->setKeyEquivalent(item.value("keyEquivalent", std::string_view{}));
        view = b;
    } else if (cls == "TextField" || cls == "Label") {
        auto t = std::make_shared<TextField>(item.value("text", std::string_view{}));
        t->setEditable(cls == "TextField" && item.value("editable", true));
        t->setPlaceholder(item.value("placeholder", std::string_view{}));
        view = t;
    } else if (cls == "PopUpButton") {
        auto p = std::make_shared<PopUpButton>();
        if (const Value* items = item.find("items"); items && items->isArray())
            for (const auto& title : items->asArray()) p->addItemWithTitle(title.description());
        view = p;
    } else if (cls == "ImageView") {
        auto i = std::make_shared<ImageView>();
        i->setImageName(item.value("image", std::string_view{}));
        view = i;
    } else if (cls == "TableView") {
        auto t = std::make_shared<TableView>();
        if (const Value* cols = item.find("columns"); cols && cols->isArray())
            for (const auto& c : cols->asArray())
                t->addTableColumn({c.value("id", std::string_view{}), c.value("title", std::string_view{}),
                                   c.value("checkbox", false)});
        view = t;
    } else {
        return Status::error(fmt::format("window description {}: unknown view class \"{}\"", source, cls));
    }
    auto frame = frameOf(item);
    if (!frame)
        return Status::error(fmt::format(
            "window description {}: the \"frame\" of a {} must be four numbers [x, y, width, height]", source,
            cls));
    view->setFrame(*frame);
    view->setIdentifier(item.value("id", std::string_view{}));
    view->setHidden(item.value("hidden", false));
    if (auto* control = dynamic_cast<Control*>(view.get())) {
        control->setTag(item.value("tag", int64_t{0}));
        control->setEnabled(item.value("enabled", true));
    }
    return view;
}

}  // namespace

Status WindowDescription::instantiate(WindowController& owner) const {
    const Value& w = m_root.at("window");
    const Result<double> width = windowSize(w, "width", 480, m_source);
    if (!width) return width.status();
    const Result<double> height = windowSize(w, "height", 270, m_source);
    if (!height) return height.status();
    auto window = std::make_shared<Window>(w.value("title", std::string_view{}),
                                           Rect{0, 0, width.value(), height.value()});
    window->setClosable(w.value("closable", true));

    // Build the tree without recursion: (item list, parent view) pairs.
    std::map<std::string, std::shared_ptr<View>> byId;
    std::vector<std::pair<const Value*, std::shared_ptr<View>>> pending;
    if (const Value* views = m_root.find("views")) pending.emplace_back(views, window->contentView());
    auto ownerPtr = owner.sharedAs<WindowController>();
    while (!pending.empty()) {
        auto [items, parent] = pending.back();
        pending.pop_back();
        if (!items->isArray())
            return Status::error(fmt::format("window description {}: \"views\" must be an array", m_source));
        for (const Value& item : items->asArray()) {
            if (!item.isDictionary())
                return Status::error(
                    fmt::format("window description {}: a view must be an object", m_source));
            auto made = makeView(item, m_source);
            if (!made) return made.status();
            auto view = made.value();
            if (!view->identifier().empty() && !byId.emplace(view->identifier(), view).second)
                return Status::error(fmt::format("window description {}: view id \"{}\" is used twice",
                                                 m_source, view->identifier()));
            if (auto* control = dynamic_cast<Control*>(view.get())) {
                std::string action = item.value("action", std::string_view{});
                if (!action.empty()) {
                    if (!owner.respondsToAction(action))
                        return Status::error(fmt::format(
                            "window description {}: the owner has no action \"{}\"", m_source, action));
                    control->setAction(action);
                    control->setTarget(ownerPtr);
                }
            }
            parent->addSubview(view);
            if (const Value* sub = item.find("views")) pending.emplace_back(sub, view);
        }
    }

    if (!owner.setOutlet("window", window))
        return Status::error(fmt::format("window description {}: cannot connect the window", m_source));
    if (const Value* outlets = m_root.find("outlets"); outlets && outlets->isDictionary()) {
        for (const auto& [outlet, target] : outlets->asDictionary()) {
            if (!target.isString())
                return Status::error(fmt::format("window description {}: outlet \"{}\" must name a view id",
                                                 m_source, outlet));
            auto it = byId.find(target.asString());
            if (it == byId.end())
                return Status::error(
                    fmt::format("window description {}: outlet \"{}\" names unknown view \"{}\"", m_source,
                                outlet, target.asString()));
            if (!owner.hasOutlet(outlet) || !owner.setOutlet(outlet, it->second))
                return Status::error(
                    fmt::format("window description {}: the owner has no outlet \"{}\" of that view's class",
                                m_source, outlet));
        }
    }
    return Status::ok();
}

}  // namespace platform
