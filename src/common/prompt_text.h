// The prompt's sentence and caption, one text for every program and the web page.
#pragma once

// "Playing now: press OK to quit", and the same romanised for a terminal that cannot show it.
constexpr const char* kPromptText = "ぷれいなう : OKを押すと終了します";
constexpr const char* kPromptAscii = "pureinau : OK wo osu to shuuryou shimasu";
constexpr const char* kPromptCaption = "Wave";
