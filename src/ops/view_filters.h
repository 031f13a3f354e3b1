#pragma once

struct Context;
class DropList;
class StyledButton;

// What the operator does with the search results (组合框2, 超级按钮339) and the favourites
// (组合框3, 超级按钮340): jump to the listed tile, remove a favourite, and the lit looks that
// follow the keyboard focus between the search box and the two lists.
class ViewFilters {
public:
    explicit ViewFilters(Context& context) : context_(context) {}

    void onViewClicked();
    void onFavouriteViewClicked();

    void onResultsKeyDown(int keyCode);
    void onResultsGotFocus();
    void onResultsLostFocus();

    void onFavouritesKeyDown(int keyCode);
    void onFavouritesDoubleClicked();
    void onFavouriteSelected();
    void onFavouritesAboutToDropDown();
    void onFavouritesGotFocus();
    void onFavouritesLostFocus();

    void onSearchTextGotFocus();
    void onSearchTextChanged();

private:
    void viewJump(DropList& list, StyledButton& button, StyledButton& partner);
    void removeFavourite();

    Context& context_;
};
