#include "settings/KeyboardSynthChooser.h"

#include "settings/LibevdevUinputDevice.h"
#include "settings/UinputKeyboardSynth.h"
#include "settings/X11KeyboardSynth.h"

std::unique_ptr<KeyboardSynth> makeKeyboardSynth(const UinputDeviceFactory &uinputDevice)
{
    if (X11KeyboardSynth::reachesKeyboard())
        return std::make_unique<X11KeyboardSynth>();
    return std::make_unique<UinputKeyboardSynth>(uinputDevice());
}

std::unique_ptr<KeyboardSynth> makeKeyboardSynth()
{
    return makeKeyboardSynth([] { return std::make_unique<LibevdevUinputDevice>(); });
}
