var outsideLoaded = true;
