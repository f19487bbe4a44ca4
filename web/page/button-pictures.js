// The six buttons' pictures, drawn by the window program's own code in the
// core: `buttons` the elements, `pictures` the core's [{width, height, argb}].
export function drawButtonPictures(buttons, pictures) {
  buttons.forEach((button, which) => {
    const { width, height, argb: pixels } = pictures[which];
    const canvas = document.createElement('canvas');
    canvas.width = width;
    canvas.height = height;
    const g = canvas.getContext('2d');
    const image = g.createImageData(width, height);
    for (let i = 0; i < width * height; ++i) {
      const argb = pixels[i];
      // White is the buttons' transparent colour.
      const white = (argb & 0xffffff) === 0xffffff;
      image.data.set([(argb >> 16) & 255, (argb >> 8) & 255, argb & 255, white ? 0 : 255], i * 4);
    }
    g.putImageData(image, 0, 0);
    button.style.backgroundImage = `url(${canvas.toDataURL()})`;
  });
}
