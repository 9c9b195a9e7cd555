#include "physics/Player.h"

void Player::Initialize(const Placement& record) {
    FieldItem::Initialize(record);
}

void Player::Integrate(const TickInput* /*input*/) {}
