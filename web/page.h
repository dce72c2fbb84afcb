// What the page's address asks for: the test hooks' URL parameters.
#pragma once

// The number given as URL parameter `name` (?name=value); false when absent or not a number.
bool pageNumber(const char* name, double& value);
// Whether URL parameter `name` is given, with or without a value (?name or ?name=...).
bool pageFlag(const char* name);
