// The hunger clock runs inside the first swim state's tick.
#pragma once

namespace guizzolo {

class Form1;

// Copies the panel's hunger field into the pet copy (loading the panel,
// hidden, the first time).
void RefreshPetCopy(Form1& pet);

// Lowers the hunger value by one; complains at 20 and 10, and below 1 shows
// the death message and ends the program.
void HungerStep(Form1& pet);

constexpr const char* kHungerAlert = "Hei Tu!!!  Guarda che ho fame!!!";
constexpr const char* kDeathMessage = "Ops!!!  Il guizzolo è morto :-(";

}  // namespace guizzolo
