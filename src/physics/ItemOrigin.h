#pragma once
// How an item of the world was made from a field definition: the item type it was added
// as and the values its parameters had, so that the world can be written back as a field
// definition that makes the same item again.

#include <string>
#include <vector>

#include "physics/Vector3.h"

struct ItemOrigin {
    /// One parameter as it was evaluated: 1 float, 2 string (with its double quotes), 3 vector.
    struct Parameter {
        std::wstring name;
        int type = 1;
        std::wstring value;
    };

    /// The item type named by the field definition ("Kivaro.die", "HalvaneSystem.sphere").
    std::wstring type;
    /// Every parameter the type declares, in the type's order, the standard ones included.
    std::vector<Parameter> parameters;
    /// Where the item's centre of mass lies from the placement's position, body axes: the
    /// placement of a composite is where its parts are measured from, not its centre.
    Vector3 centreOffset;
};
