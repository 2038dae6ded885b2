#include "NSPopUpButton+VEXA.h"
#include "platform/ui/MenuItem.h"
#include "platform/ui/PopUpButton.h"

void kopaSelectItemWithRepresentedObject(platform::PopUpButton& button, const platform::ObjectPtr& object) {
    if (!object) return;
    for (size_t i = 0; i < button.numberOfItems(); ++i) {
        auto item = button.itemAtIndex(i);
        if (item && item->representedObject() == object) {
            button.selectItemAtIndex(static_cast<int64_t>(i));
            return;
        }
    }
}
