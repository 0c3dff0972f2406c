// Checks of a form and its bindings before the loader builds windows from
// them.

#include "gui/form_template_win.h"

#include <set>

namespace {

bool IsKnownControlType(uint32_t unitType) {
  switch (unitType) {
    case kUnitTypeLabel:
    case kUnitTypeButton:
    case kUnitTypeCheckbox:
    case kUnitTypeComboBox:
    case kUnitTypeProgressBar:
    case kUnitTypeCommonDialog:
    case kUnitTypeDropObject:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool IsFormTemplateUsable(const FormTemplate& form, const EventBindings& bindings) {
  if (form.units.empty()) return false;
  const UnitTemplate& window = form.units.front();
  if (window.unitType != kUnitTypeWindow || window.controlId != kWindowControlId) return false;
  std::set<uint32_t> ids;
  for (size_t i = 0; i < form.units.size(); ++i) {
    const UnitTemplate& unit = form.units[i];
    if (i > 0 && !IsKnownControlType(unit.unitType)) return false;
    if (!ids.insert(unit.controlId).second) return false;
  }
  for (const EventBinding& binding : bindings) {
    if (binding.source.windowId == form.windowId && ids.count(binding.source.controlId) == 0) {
      return false;
    }
  }
  return true;
}
