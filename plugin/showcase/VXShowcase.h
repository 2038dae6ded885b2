#pragma once

// VXShowcase: the principal class of the Showcase plug-in, a second product on the framework
// that uses what Zandrel does not.
//
// At load it reads its feature configuration (ShowcaseFeatures.json: "visitCounter",
// "resetVisits", "templateSummary"), registers its database setting "ShowcaseVisitCount"
// (per user, default 0), registers the menu action "Template Note…" for form templates with the
// host's menu manager and adds it to the form templates' contextual menu.
//
// Plug-ins > Showcase:
//   Feature Permissions…   opens the feature permission editor (anyone signed in)
//   Count a Visit          adds one to the visit counter setting      (feature visitCounter)
//   Reset Visit Counter    removes the stored count: back to the default (feature resetVisits)
//   Template Summary       active templates and how many carry a note (feature templateSummary)
// A command whose feature the signed-in user does not hold is disabled, and refused if sent
// anyway. The template note action, sent by the host with the selected form template as the
// sender, opens the note dialog for that template.

#include <string>

#include "plugin/framework/Classes/VEXAPlugin.h"

class VXShowcase : public KOPAPlugin {
public:
    static constexpr const char* kForeignAppName = "Showcase";
    static constexpr const char* kFeatureConfiguration = "ShowcaseFeatures.json";
    static constexpr const char* kVisitCountKey = "ShowcaseVisitCount";
    static constexpr const char* kTemplateClassName = "CustomRecordSetDefinition";

    static constexpr const char* kFeaturePermissionsAction = "__Showcase_FeaturePermissionsAction:";
    static constexpr const char* kCountVisitAction = "__Showcase_CountVisitAction:";
    static constexpr const char* kResetVisitsAction = "__Showcase_ResetVisitsAction:";
    static constexpr const char* kTemplateSummaryAction = "__Showcase_TemplateSummaryAction:";
    static constexpr const char* kTemplateNoteAction = "showcaseTemplateNote:";

    bool init() override;
    void dayliteHasFinishedLaunching() override;
    void addSubmenusForPluginsMenu(platform::Menu& pluginsMenu) override;

    bool validateMenuItem(const platform::MenuItem& item) override;
    bool respondsToAction(const std::string& action) const override;
    bool performAction(const std::string& action, platform::Object* sender) override;

    // The feature a command needs, or none for commands open to everyone signed in.
    static const char* featureForAction(const std::string& action);

private:
    void addContextualMenuItem();
    void showFeaturePermissions();
    void countVisit();
    void resetVisits();
    void showTemplateSummary();
    bool showTemplateNote(platform::Object* sender);
    void tell(const std::string& message);
};
