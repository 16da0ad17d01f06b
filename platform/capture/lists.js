        // ---- lists: the marker and number the browser shows on a list item -------------------
        const LIST_STYLES = {
            'disc': 'disc', 'circle': 'circle', 'square': 'square', 'decimal': 'decimal',
            'decimal-leading-zero': 'decimal', 'lower-alpha': 'lower-alpha', 'lower-latin': 'lower-alpha',
            'upper-alpha': 'upper-alpha', 'upper-latin': 'upper-alpha', 'lower-roman': 'lower-roman',
            'upper-roman': 'upper-roman'
        };

        // The number the browser shows on a list item.
        function itemNumber(li) {
            const list = li.parentElement;
            if (!list)
                return 1;
            let n = list.tagName === 'OL' && list.hasAttribute('start') ? list.start : 1;
            // siblings one by one: the children collection would be made for every list
            for (let sib = list.firstElementChild; sib; sib = sib.nextElementSibling) {
                if (sib.tagName === 'LI' && sib.hasAttribute('value'))
                    n = parseInt(sib.getAttribute('value'), 10) || n;
                if (sib === li)
                    return n;
                if (cs(sib).display === 'list-item')
                    ++n;
            }
            return n;
        }
