#include "ops/prompt_sound.h"

#include "platform/tune.h"
#include "state/context.h"
#include "ui/main_window.h"
#include "ui/styled_button.h"

#include <QAction>

void PromptSound::onItemChosen() {
    QAction& item = *context_.window.ui().promptSoundItem;
    // A checkable item has moved its tick already when it reports the choice: the tick is the
    // setting chosen.
    const bool on = item.isChecked();
    context_.window.tile(1).button->setSoundOn(on);
    item.setText(on ? QStringLiteral("提示音已打开") : QStringLiteral("提示音已关闭"));
}

void PromptSound::onButtonClicked(StyledButton* button) {
    if (button->isSoundOn())
        context_.services.tune.play();
}
