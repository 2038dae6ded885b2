#include "VEXAHelper.h"

#include <dlfcn.h>
#include <fmt/format.h>

#include <cmath>
#include <exception>
#include <filesystem>

#include "VEXALog.h"
#include "host/app/DLDocument.h"
#include "host/app/DLMainWindow.h"
#include "host/app/DLSlideoverHost.h"
#include "host/app/DLTabViewSlideoverContainer.h"
#include "host/database/model/DLPObjectContext.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/HTMLReader.h"
#include "platform/foundation/KeyValueCoding.h"
#include "platform/foundation/Log.h"
#include "platform/runtime/ClassRegistry.h"
#include "platform/ui/Application.h"
#include "platform/ui/Font.h"
#include "platform/ui/Image.h"

namespace {
constexpr const char* kHostDocumentClassName = "DLDocument";
constexpr const char* kFrameworkStringTable = "VEXAFramework";
// Inside the host application's bundle, where Daylite keeps DLViews.framework.
constexpr const char* kHostViewFrameworkDirectory = "Frameworks/DLViews.framework";
constexpr const char* kCalendarContentViewClassName = "DLCalendarContentView";
constexpr const char* kListContentViewClassNames[] = {
    "DLMWDualListTaskContentView",    "DLMWDualListOrganizationContentView",
    "DLMWDualListProjectContentView", "DLMWDualListOpportunityContentView",
    "DLMWDualListNoteContentView",    "DLMWDualListGroupContentView",
    "DLMWDualListFormContentView",    "DLMWDualListEmailContentView",
    "DLMWDualListContactContentView", "DLMWDualListContentView",
};
constexpr const char* kHTMLWrapperFormat = "<div style=\"font-family:'{}'; font-size:{}px;\">{}</div>";

// The key path from the content view the main window shows to the view a slide-over attaches
// to; empty for content views that have none.
std::string slideoverHostKeyPath(const std::string& contentViewClassName) {
    if (contentViewClassName == kCalendarContentViewClassName) return "listView.tabView";
    for (const char* name : kListContentViewClassNames)
        if (contentViewClassName == name) return "currentListDetailView";
    return {};
}

// A font name as the wrapper's quoted CSS family inside its double-quoted attribute: quotes and
// markup characters in a name must not end either of them early.
std::string escapedFontName(const std::string& name) {
    std::string out;
    for (char c : name) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '\'':
                out += "\\'";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}
}  // namespace

std::shared_ptr<platform::Bundle> KOPAHelper::frameworkBundle() {
    // The bundle is the folder holding the shared library this function lives in.
    static std::shared_ptr<platform::Bundle> bundle = []() -> std::shared_ptr<platform::Bundle> {
        Dl_info info{};
        if (!dladdr(reinterpret_cast<void*>(&KOPAHelper::frameworkBundle), &info) || !info.dli_fname)
            return nullptr;
        auto opened = platform::Bundle::open(std::filesystem::path(info.dli_fname).parent_path());
        if (!opened) {
            platform::Log::write(opened.status().message());
            return nullptr;
        }
        return opened.value();
    }();
    return bundle;
}

std::string KOPAHelper::VEXAlocalizeString(const std::string& key) {
    auto bundle = frameworkBundle();
    return bundle ? bundle->localizedStringForKey(key, "", kFrameworkStringTable) : key;
}

std::shared_ptr<platform::Document> KOPAHelper::mainDocument() {
    auto cls = platform::ClassRegistry::shared().classNamed(kHostDocumentClassName);
    return mcFirstDocumentWithKindOfClass(platform::Application::shared(), cls.get());
}

std::shared_ptr<DLMainWindowController> KOPAHelper::activeMainWindowController() {
    auto document = std::dynamic_pointer_cast<DLDocument>(mainDocument());
    return document ? document->firstOrderedMainWindowController() : nullptr;
}

std::shared_ptr<platform::Window> KOPAHelper::activeMainWindow() {
    auto controller = activeMainWindowController();
    return controller ? controller->window() : nullptr;
}

std::shared_ptr<DLPObjectContext> KOPAHelper::objectContext() {
    auto window = std::dynamic_pointer_cast<DLMainWindow>(activeMainWindow());
    return window ? window->objectContext() : nullptr;
}

std::shared_ptr<MCUserDefaults> KOPAHelper::mcUserDefaults() {
    auto context = objectContext();
    return context ? std::shared_ptr<MCUserDefaults>(context, &context->userDefaults()) : nullptr;
}

std::shared_ptr<GWUser> KOPAHelper::activeUser() {
    auto context = objectContext();
    return context ? context->user() : nullptr;
}

std::optional<std::filesystem::path> KOPAHelper::hostViewFrameworkDirectory() {
    auto host = platform::Bundle::mainBundle();
    if (!host) return std::nullopt;
    return host->bundlePath() / kHostViewFrameworkDirectory;
}

std::shared_ptr<platform::Image> KOPAHelper::dayliteImageNamed(const std::string& name,
                                                               const std::string& type) {
    auto directory = hostViewFrameworkDirectory();
    if (!directory || name.empty()) return nullptr;
    auto framework = platform::Bundle::open(*directory);
    if (!framework) return nullptr;
    std::string file = type.empty() ? name : name + "." + type;
    // A resource name is a file name: a path in it would reach outside the framework.
    if (file.find('/') != std::string::npos || file == "." || file == "..") return nullptr;
    auto path = framework.value()->pathForResource(file);
    return path ? platform::Image::imageWithContentsOfFile(*path) : nullptr;
}

std::shared_ptr<DLTabViewSlideoverContainer> KOPAHelper::pushTabViewSlideoverWithObject(
    const std::shared_ptr<platform::Object>& object, bool editing) {
    auto mainWindow = platform::Application::shared().mainWindow();
    platform::View* responder = mainWindow ? mainWindow->firstResponder() : nullptr;
    if (responder) {
        try {
            auto hostView = mcFirstEnclosingSlideoverHost(*responder);
            return DLTabViewSlideoverContainer::pushTabViewSlideoverForHostView(hostView, object, editing);
        } catch (const std::exception&) {
            // Not inside a slide-over host: the main window's content view may offer one.
        }
    }
    try {
        auto contentView =
            platform::valueForKeyPath(activeMainWindowController(), "selectedMainView.currentContentView");
        std::string keyPath = contentView ? slideoverHostKeyPath(contentView->className()) : std::string();
        auto hostView = keyPath.empty() ? nullptr : platform::valueForKeyPath(contentView, keyPath);
        if (hostView) {
            if (!dynamic_cast<DLSlideoverHost*>(hostView.get()))
                hostView = platform::valueForKey(hostView, "tabView");
            return DLTabViewSlideoverContainer::pushTabViewSlideoverForHostView(
                std::dynamic_pointer_cast<platform::View>(hostView), object, editing);
        }
    } catch (...) {
        // Reported below like a missing host view.
    }
    KOPA_LOG("could not push sliedover");
    return nullptr;
}

std::optional<platform::AttributedString> KOPAHelper::stringFromHTML(const std::string& html,
                                                                     const platform::Font* font) {
    platform::Font chosen = font ? *font : platform::Font::systemFontOfSize(0);
    double size = chosen.pointSize();
    // Whole pixels, truncated toward zero; a size no integer holds is left to the reader's default.
    long long pixels =
        std::isfinite(size) && std::fabs(size) < 1e15 ? static_cast<long long>(std::trunc(size)) : 0;
    std::string text = fmt::format(kHTMLWrapperFormat, escapedFontName(chosen.fontName()), pixels, html);
    // The font is also the document's default, so text that a stray </div> moves out of the
    // wrapper keeps it.
    platform::TextAttributes base;
    base.fontFamily = chosen.fontName();
    base.fontSize =
        pixels > 0 ? static_cast<double>(pixels) : platform::HTMLReader::defaultAttributes().fontSize;
    return platform::HTMLReader::read(text, platform::HTMLReader::kUTF8StringEncoding, base);
}
