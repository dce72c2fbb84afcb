// What the page's address asks for: the test hooks' URL parameters.
#pragma once

// The number given as URL parameter `name` (?name=value); false when absent or not a number.
bool pageNumber(const char* name, double& value);
